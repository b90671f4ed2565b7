// SPDX-License-Identifier: Apache-2.0
// A shading network in the host: shader instances whose parameters are
// constants or connections to other instances' results. The host evaluates it
// the two ways a renderer can: through the C entries, each connected parameter
// answered by evaluating its source through zr_phen_eval, or through shader
// objects made from data blocks holding the values the inputs computed. Both
// give the same bits.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <catalogue/catalogue.h>
#include <host/reference_host.h>
#include <host/laid_out_blocks.h>
#include <host/library.h>
#include <host/parameter_block.h>
#include <network/paths.h>

namespace kvx::network {

class Network {
 public:
  using Node = unsigned;

  explicit Network(host::Library const& library);
  Network(Network const& other);
  ~Network();

  // An instance of the named shader; throws std::invalid_argument for an
  // unknown shader or parameter.
  Node add(std::string_view shader);
  void set(Node node, std::string_view parameter, catalogue::Value_bytes value);
  // The parameter takes the source's result. With `splat`, a float result is
  // repeated into every component (host glue: the catalogue has no such cast).
  void connect(Node node, std::string_view parameter, Node source, bool splat = false);

  // The node's result at the current shading point, through one interface
  // (c or cpp). The node and the instances it depends on run in an order in
  // which each one's inputs come first, each once a point; zr_phen_eval then
  // answers a connected parameter with its source's result, read in constant
  // time, without recursion. Throws std::invalid_argument for a network with
  // a cycle.
  catalogue::Value_bytes const& evaluate(Node node, host::Reference_host& host, Paths path);
  catalogue::Type result_type(Node node) const;

  // What the batch path reads of a network (batch_shading.h).
  struct Input {
    bool connected = false;
    Node source = 0;
    bool splat = false;
  };
  std::size_t size() const;
  catalogue::Shader const& shader(Node node) const;
  Input const& input(Node node, unsigned k) const;
  // A parameter's constant, its declared default unless set.
  catalogue::Value_bytes const& constant(Node node, unsigned k) const;
  // `node` and every instance it depends on, each once and inputs first.
  // Throws std::invalid_argument for a network with a cycle.
  std::vector<Node> order(Node node) const;
  // A new shading point: every result is stale.
  void next_point() { ++point_; }
  // The node's result as the last evaluate() that ran it left it.
  catalogue::Value_bytes const& result(Node node) const;
  std::uint64_t shader_calls() const { return shader_calls_; }

  static constexpr std::int32_t tag_offset = 64;

 private:
  struct Instance;

  using Entry = int(void* result, Host_state* state, void* params);
  struct Shaders;

  Instance& instance(Node node);
  // The order in which `node` and what it depends on run; made once.
  using Plan = std::vector<Instance*>;
  Plan const& plan(Node node) {
    if (last_plan_ && last_planned_ == node) [[likely]] return *last_plan_;
    return make_plan(node);
  }
  Plan const& make_plan(Node node);
  void forget_plans();
  void lay_out();
  template <class Run>
  void run_plan(Plan const& plan, Run run);

  host::Library const& library_;
  std::shared_ptr<Shaders> shaders_;
  std::vector<Instance> nodes_;
  std::unordered_map<Node, Plan> plans_;  // by the node evaluated
  Plan const* last_plan_ = nullptr;       // the last one asked for, of
  Node last_planned_ = 0;
  std::uint64_t point_ = 1;
  std::uint64_t shader_calls_ = 0;
  // Where each instance's result and splatted result lie, 2 × node (+ 1):
  // what a connected parameter's slot indexes.
  std::vector<void*> connection_values_;
  bool laid_out_ = false;  // connection_values_ and the object inputs are current
  host::Result_block object_result_;  // what main writes, for every object of this copy
};

}  // namespace kvx::network
