#include <network/network.h>

#include <cstring>
#include <stdexcept>

#include <host/data_block.h>

namespace kvx::host {

namespace {
constexpr std::uint32_t tag_connected = 1;

Value_bytes splat(Value_bytes const& scalar) {
  Value_bytes out;
  for (unsigned i = 0; i < 4; ++i) std::memcpy(out.data() + 4 * i, scalar.data(), 4);
  return out;
}
}  // namespace

struct Network::Instance {
  catalogue::Shader const* row;
  int (*entry)(void*, Host_state*, void*);
  std::array<Input, catalogue::max_parameters> inputs{};
  std::array<Value_bytes, catalogue::max_parameters> constants{};
  Parameter_block block{tag_offset};
  Value_bytes result{};
  Value_bytes splat_result{};
  std::uint64_t evaluated_at = 0;
  Plugin_ptr plugin;

  unsigned char* slot(unsigned k) { return block.slot(row->parameter_list[k]); }
  void set_tag(unsigned k, std::uint32_t tag) { block.set_tag(row->parameter_list[k], tag); }
};

Network::Network(Library const& library) : library_(library) {}

Network::Network(Network const& other) : library_(other.library_) {
  for (auto const& n : other.nodes_) {
    auto copy = std::make_unique<Instance>();
    copy->row = n->row;
    copy->entry = n->entry;
    copy->inputs = n->inputs;
    copy->constants = n->constants;
    copy->block = n->block;
    copy->plugin = library_.shader_plugin(n->row->index);
    nodes_.push_back(std::move(copy));
  }
}

Network::~Network() = default;

Network::Node Network::add(std::string_view shader) {
  auto const* row = catalogue::find(shader);
  if (!row) throw std::invalid_argument("unknown shader '" + std::string(shader) + "'");
  auto node = std::make_unique<Instance>();
  node->row = row;
  node->entry = library_.function<int(void*, Host_state*, void*)>(std::string(shader).c_str());
  if (!node->entry) throw std::invalid_argument("the library exports no " + std::string(shader));
  node->plugin = library_.shader_plugin(row->index);
  for (unsigned k = 0; k < row->parameter_count; ++k) {
    node->constants[k] = row->parameter_list[k].default_value;
    std::memcpy(node->slot(k), node->constants[k].data(), slot_size(row->parameter_list[k].type));
    node->set_tag(k, tag_constant);
  }
  nodes_.push_back(std::move(node));
  return static_cast<Node>(nodes_.size() - 1);
}

namespace {
unsigned parameter_index(catalogue::Shader const& row, std::string_view parameter) {
  for (unsigned k = 0; k < row.parameter_count; ++k)
    if (row.parameter_list[k].name == parameter) return k;
  throw std::invalid_argument(std::string(row.name) + " has no parameter '" + std::string(parameter) + "'");
}
}  // namespace

void Network::set(Node node, std::string_view parameter, Value_bytes value) {
  auto& n = instance(node);
  unsigned const k = parameter_index(*n.row, parameter);
  n.inputs[k] = Input{};
  n.constants[k] = value;
  std::memcpy(n.slot(k), value.data(), slot_size(n.row->parameter_list[k].type));
  n.set_tag(k, tag_constant);
}

void Network::connect(Node node, std::string_view parameter, Node source, bool splat_result) {
  auto& n = instance(node);
  instance(source);  // must exist
  unsigned const k = parameter_index(*n.row, parameter);
  n.inputs[k] = Input{true, source, splat_result};
  n.set_tag(k, tag_connected);
}

Type Network::result_type(Node node) const { return nodes_.at(node)->row->result; }

Value_bytes const& Network::evaluate(Node node, Host& host, Paths path) {
  host.record().set_tag_offset(tag_offset);
  host.record().set_integer_tags(1);
  host.set_evaluator([this, &host](void* slot) { return evaluate_connection(slot, host); });
  return path == Paths::cpp ? evaluate_cpp(instance(node), host) : evaluate_c(instance(node), host);
}

// zr_phen_eval for a parameter slot of one of this network's blocks.
void* Network::evaluate_connection(void* slot, Host& host) {
  auto* address = static_cast<unsigned char*>(slot);
  for (auto& n : nodes_) {
    auto const& bytes = n->block.bytes();
    if (address < bytes.data() || address >= bytes.data() + bytes.size()) continue;
    for (unsigned k = 0; k < n->row->parameter_count; ++k) {
      if (n->slot(k) != address || !n->inputs[k].connected) continue;
      auto& source = instance(n->inputs[k].source);
      evaluate_c(source, host);
      if (!n->inputs[k].splat) return source.result.data();
      source.splat_result = splat(source.result);
      return source.splat_result.data();
    }
  }
  return nullptr;
}

Value_bytes const& Network::evaluate_c(Instance& node, Host& host) {
  if (node.evaluated_at == point_) return node.result;
  node.result.fill(0);
  node.entry(node.result.data(), host.record().get(), node.block.params());
  ++shader_calls_;
  node.evaluated_at = point_;
  return node.result;
}

Value_bytes Network::input_value(Instance& node, unsigned k, Host& host, Paths path) {
  auto const& input = node.inputs[k];
  if (!input.connected) return node.constants[k];
  auto& source = instance(input.source);
  Value_bytes const& value = path == Paths::cpp ? evaluate_cpp(source, host) : evaluate_c(source, host);
  return input.splat ? splat(value) : value;
}

// Shader objects capture their inputs once, so each shading point makes a
// fresh object from a data block of the values its inputs computed.
Value_bytes const& Network::evaluate_cpp(Instance& node, Host& host) {
  if (node.evaluated_at == point_) return node.result;
  Block inputs;
  for (unsigned k = 0; k < node.row->parameter_count; ++k) {
    auto const value = input_value(node, k, host, Paths::cpp);
    inputs.set_bytes(node.row->parameter_list[k].name, value.data(), width(node.row->parameter_list[k].type));
  }
  node.result = Shader_object(*node.plugin, inputs).result(host.state());
  ++shader_calls_;
  node.evaluated_at = point_;
  return node.result;
}

}  // namespace kvx::host
