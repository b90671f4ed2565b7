// SPDX-License-Identifier: Apache-2.0
#include <network/network.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>


namespace kvx::network {

namespace {
constexpr std::uint32_t tag_connected = 1;

// What the slot of a connected parameter holds: the index, in the network's
// table of values (host::Reference_host::answer_connections), of the source's
// result (2 × source) or of its splatted result (2 × source + 1). The library
// never reads the slot of a connected parameter; it hands its address to
// zr_phen_eval.
constexpr std::uint32_t link(Network::Node source, bool splat) { return 2 * source + (splat ? 1 : 0); }
constexpr Network::Node max_nodes = 0x7FFFFFFF;

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
  // The shader object's inputs: the constants, or the sources' results.
  host::Input_block object_inputs{*row};
  bool splatted = false;  // some instance takes its result splatted
  catalogue::Value_bytes result{};
  catalogue::Value_bytes splat_result{};
  std::uint64_t evaluated_at = 0;

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

Network::Network(host::Library const& library)
    : library_(library), shaders_(std::make_shared<Shaders>()), object_result_(&library.constants()) {}
Network::Network(Network const& other)  // plans point at own instances
    : library_(other.library_), shaders_(other.shaders_), nodes_(other.nodes_),
      object_result_(&other.library_.constants()) {}

// Where each connection's value lies in this copy's own instances, for
// zr_phen_eval and for the object input blocks: again after the instances
// move or their connections change.
void Network::lay_out() {
  connection_values_.resize(2 * nodes_.size());
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    connection_values_[link(Node(i), false)] = nodes_[i].result.data();
    connection_values_[link(Node(i), true)] = nodes_[i].splat_result.data();
    nodes_[i].splatted = false;
  }
  for (auto& node : nodes_)
    for (unsigned k = 0; k < node.row->parameter_count; ++k) {
      Input const& input = node.inputs[k];
      if (input.connected && input.splat) nodes_[input.source].splatted = true;
      node.object_inputs.point(k, input.connected ? connection_values_[link(input.source, input.splat)]
                                                  : node.constants[k].data());
    }
  laid_out_ = true;
}

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
  node.object_inputs = host::Input_block(*row, &library_.constants());
  forget_plans();  // the instances may have moved
  laid_out_ = false;
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
  if (n.inputs[k].connected) {
    forget_plans();
    laid_out_ = false;
  }
  n.inputs[k] = Input{};
  n.constants[k] = value;
  std::memcpy(n.slot(k), value.data(), slot_size(n.row->parameter_list[k].type));
  n.set_tag(k, bridge::tag_constant);
}

void Network::connect(Node node, std::string_view parameter, Node source, bool splat_result) {
  auto& n = instance(node);
  instance(source);  // must exist
  unsigned const k = parameter_index(*n.row, parameter);
  if (source >= max_nodes) throw std::invalid_argument("too many instances");
  forget_plans();
  laid_out_ = false;
  n.inputs[k] = Input{true, source, splat_result};
  std::uint32_t const index = link(source, splat_result);
  std::memcpy(n.slot(k), &index, sizeof index);
  n.set_tag(k, tag_connected);
}

catalogue::Type Network::result_type(Node node) const { return nodes_.at(node).row->result; }

std::size_t Network::size() const { return nodes_.size(); }
catalogue::Value_bytes const& Network::result(Node node) const { return nodes_.at(node).result; }
catalogue::Shader const& Network::shader(Node node) const { return *nodes_.at(node).row; }
Network::Input const& Network::input(Node node, unsigned k) const { return nodes_.at(node).inputs.at(k); }
catalogue::Value_bytes const& Network::constant(Node node, unsigned k) const { return nodes_.at(node).constants.at(k); }

// A depth-first walk with its own stack, so a long chain cannot exhaust the
// thread's.
std::vector<Network::Node> Network::order(Node node) const {
  nodes_.at(node);  // must exist
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
  return order;
}

Network::Plan const& Network::make_plan(Node node) {
  auto remember = [&](Plan const& plan) -> Plan const& {
    last_planned_ = node;  // only once there is a plan: a cycle leaves none
    return *(last_plan_ = &plan);
  };
  if (auto it = plans_.find(node); it != plans_.end()) return remember(it->second);
  Plan instances;
  for (Node n : order(node)) instances.push_back(&nodes_[n]);
  return remember(plans_.emplace(node, std::move(instances)).first->second);
}

// Runs each instance of the plan that has not run at this point, with
// `run`, which leaves its result in instance.result. A float result some
// instance takes splatted is repeated into every component once, when made.
template <class Run>
inline void Network::run_plan(Plan const& plan, Run run) {
  std::uint64_t const point = point_;
  for (Instance* instance : plan) {
    if (instance->evaluated_at == point) continue;
    run(*instance);
    if (instance->splatted) instance->splat_result = splat(instance->result);
    instance->evaluated_at = point;
    ++shader_calls_;
  }
}

catalogue::Value_bytes const& Network::evaluate(Node node, host::Reference_host& host, Paths path) {
  host.record().set_tag_offset(tag_offset);
  host.record().set_integer_tags(1);
  if (!laid_out_) [[unlikely]] lay_out();
  host.answer_connections(connection_values_);
  if (path == Paths::cpp) {
    // Shader objects capture their inputs once, so each point makes a fresh
    // object, from the instance's input block, which points at where the
    // values already lie.
    ZR::SHADER::State* const state = host.state();
    run_plan(plan(node), [&](Instance& instance) {
      instance.result = host::Shader_object(*instance.plugin, instance.object_inputs).result(state, object_result_);
    });
  } else {
    ::Host_state* const record = host.record().get();
    run_plan(plan(node), [record](Instance& instance) {
      instance.result.fill(0);
      instance.entry(instance.result.data(), record, instance.block.params());
    });
  }
  return plan(node).back()->result;  // the node itself runs last
}

}  // namespace kvx::network
