// SPDX-License-Identifier: Apache-2.0
#include <network/network.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include <host/data_block.h>

namespace kvx::network {

namespace {
constexpr std::uint32_t tag_connected = 1;

// What the slot of a connected parameter holds: the source's node, and in
// the top bit whether its float is splatted. The library never reads the slot
// of a connected parameter; it hands its address to zr_phen_eval.
constexpr std::uint32_t splat_bit = 0x80000000u;

catalogue::Value_bytes splat(catalogue::Value_bytes const& scalar) {
  catalogue::Value_bytes out;
  for (unsigned i = 0; i < 4; ++i) std::memcpy(out.data() + 4 * i, scalar.data(), 4);
  return out;
}
}  // namespace

// An instance's block: tags just past the slots. Every shader's last tag
// (at its block's end + tag_offset) fits the room the block has after the
// parameters (128 + reach bytes).
using Instance_block = host::Basic_parameter_block<Network::tag_offset + 16>;
static_assert(std::ranges::all_of(catalogue::shaders, [](catalogue::Shader const& s) {
  return s.block_size() + Network::tag_offset <= 128 + Instance_block::reach;
}));

struct Network::Instance {
  catalogue::Shader const* row;
  Entry* entry;
  ZR::SHADER::Software_shader_plugin const* plugin;
  std::array<Input, catalogue::max_parameters> inputs{};
  std::array<catalogue::Value_bytes, catalogue::max_parameters> constants{};
  Instance_block block{tag_offset};
  catalogue::Value_bytes result{};
  catalogue::Value_bytes splat_result{};
  std::uint64_t evaluated_at = 0;
  std::uint64_t splatted_at = 0;

  unsigned char* slot(unsigned k) { return block.slot(row->parameter_list[k]); }
  void set_tag(unsigned k, std::uint32_t tag) { block.set_tag(row->parameter_list[k], tag); }
};

// Per shader, its C entry and one plug-in, which every instance of it
// shares: plug-ins are immutable once made, so the threads' copies of the
// network share them too.
struct Network::Shaders {
  std::array<Entry*, catalogue::shader_count> entries{};
  std::array<host::Plugin_ptr, catalogue::shader_count> plugins;
};

Network::Network(host::Library const& library) : library_(library), shaders_(std::make_shared<Shaders>()) {}
Network::Network(Network const& other)
    : library_(other.library_), shaders_(other.shaders_), nodes_(other.nodes_), plans_(other.plans_) {}

void Network::forget_plans() {
  plans_.clear();
  last_plan_ = nullptr;
}
Network::~Network() = default;

Network::Instance& Network::instance(Node node) { return nodes_.at(node); }

Network::Node Network::add(std::string_view shader) {
  auto const* row = catalogue::find(shader);
  if (!row) throw std::invalid_argument("unknown shader '" + std::string(shader) + "'");
  Entry*& entry = shaders_->entries[row->index];
  if (!entry) {
    entry = library_.function<Entry>(std::string(shader).c_str());
    if (!entry) throw std::invalid_argument("the library exports no " + std::string(shader));
    shaders_->plugins[row->index] = library_.shader_plugin(row->index);
  }
  Instance& node = nodes_.emplace_back(Instance{row, entry, shaders_->plugins[row->index].get()});
  for (unsigned k = 0; k < row->parameter_count; ++k) {
    node.constants[k] = row->parameter_list[k].default_value;
    std::memcpy(node.slot(k), node.constants[k].data(), slot_size(row->parameter_list[k].type));
    node.set_tag(k, bridge::tag_constant);
  }
  return static_cast<Node>(nodes_.size() - 1);
}

namespace {
unsigned parameter_index(catalogue::Shader const& row, std::string_view parameter) {
  for (unsigned k = 0; k < row.parameter_count; ++k)
    if (row.parameter_list[k].name == parameter) return k;
  throw std::invalid_argument(std::string(row.name) + " has no parameter '" + std::string(parameter) + "'");
}
}  // namespace

void Network::set(Node node, std::string_view parameter, catalogue::Value_bytes value) {
  auto& n = instance(node);
  unsigned const k = parameter_index(*n.row, parameter);
  if (n.inputs[k].connected) forget_plans();
  n.inputs[k] = Input{};
  n.constants[k] = value;
  std::memcpy(n.slot(k), value.data(), slot_size(n.row->parameter_list[k].type));
  n.set_tag(k, bridge::tag_constant);
}

void Network::connect(Node node, std::string_view parameter, Node source, bool splat_result) {
  auto& n = instance(node);
  instance(source);  // must exist
  unsigned const k = parameter_index(*n.row, parameter);
  if (source >= splat_bit) throw std::invalid_argument("too many instances");
  forget_plans();
  n.inputs[k] = Input{true, source, splat_result};
  std::uint32_t const link = source | (splat_result ? splat_bit : 0u);
  std::memcpy(n.slot(k), &link, sizeof link);
  n.set_tag(k, tag_connected);
}

catalogue::Type Network::result_type(Node node) const { return nodes_.at(node).row->result; }

// The node and every instance it depends on, inputs first: a depth-first
// walk with its own stack, so a long chain cannot exhaust the thread's.
std::vector<Network::Node> const& Network::make_plan(Node node) {
  auto remember = [&](std::vector<Node> const& plan) -> std::vector<Node> const& {
    last_planned_ = node;  // only once there is a plan: a cycle leaves none
    return *(last_plan_ = &plan);
  };
  if (auto it = plans_.find(node); it != plans_.end()) return remember(it->second);
  instance(node);  // must exist
  enum : std::uint8_t { unseen, open, done };
  std::vector<std::uint8_t> state(nodes_.size(), unseen);
  std::vector<Node> order;
  std::vector<std::pair<Node, unsigned>> stack{{node, 0}};  // a node and its next input
  state[node] = open;
  while (!stack.empty()) {
    auto& [at, next] = stack.back();
    Instance const& n = nodes_[at];
    if (next == n.row->parameter_count) {
      state[at] = done;
      order.push_back(at);
      stack.pop_back();
      continue;
    }
    Input const& input = n.inputs[next++];
    if (!input.connected || state[input.source] == done) continue;
    if (state[input.source] == open) throw std::invalid_argument("the network has a cycle");
    state[input.source] = open;
    stack.emplace_back(input.source, 0);
  }
  return remember(plans_.emplace(node, std::move(order)).first->second);
}

// A float result repeated into every component, made once a point.
inline catalogue::Value_bytes& Network::splatted(Instance& source) {
  if (source.splatted_at != point_) {
    source.splat_result = splat(source.result);
    source.splatted_at = point_;
  }
  return source.splat_result;
}

// zr_phen_eval for a connected parameter of this network's: its source ran
// before the instance that asks.
inline void* Network::connection_value(void* slot) {
  std::uint32_t link;
  std::memcpy(&link, slot, sizeof link);
  Instance& source = nodes_[link & ~splat_bit];
  if (!(link & splat_bit)) return source.result.data();
  return splatted(source).data();
}

inline void Network::run_c(Instance& node, host::Reference_host& host) {
  if (node.evaluated_at == point_) return;
  node.result.fill(0);
  node.entry(node.result.data(), host.record().get(), node.block.params());
  ++shader_calls_;
  node.evaluated_at = point_;
}

catalogue::Value_bytes const& Network::input_value(Instance& node, unsigned k) {
  auto const& input = node.inputs[k];
  if (!input.connected) return node.constants[k];
  Instance& source = nodes_[input.source];
  return input.splat ? splatted(source) : source.result;
}

// Shader objects capture their inputs once, so each shading point makes a
// fresh object from a data block of the values its inputs computed.
void Network::run_cpp(Instance& node, host::Reference_host& host) {
  if (node.evaluated_at == point_) return;
  host::Block inputs;
  for (unsigned k = 0; k < node.row->parameter_count; ++k)
    inputs.set_bytes(node.row->parameter_list[k].name, input_value(node, k).data(),
                     width(node.row->parameter_list[k].type));
  node.result = host::Shader_object(*node.plugin, inputs).result(host.state());
  ++shader_calls_;
  node.evaluated_at = point_;
}

catalogue::Value_bytes const& Network::evaluate(Node node, host::Reference_host& host, Paths path) {
  host.record().set_tag_offset(tag_offset);
  host.record().set_integer_tags(1);
  host.set_evaluator([](void* network, void* slot) { return static_cast<Network*>(network)->connection_value(slot); },
                     this);
  if (path == Paths::cpp)
    for (Node n : plan(node)) run_cpp(nodes_[n], host);
  else
    for (Node n : plan(node)) run_c(nodes_[n], host);
  return nodes_[node].result;  // planned, so it exists
}

}  // namespace kvx::network
