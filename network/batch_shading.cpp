// SPDX-License-Identifier: Apache-2.0
#include <network/batch_shading.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kvx::network {

namespace {

// Points a block holds at most: enough that a call's cost spreads thin over
// them, few enough that a block's values stay in the processor's caches.
constexpr std::size_t most_points = 1024;
// What one thread's blocks may take, whatever the network.
constexpr std::size_t memory_budget = std::size_t{32} << 20;
constexpr std::size_t value_room = 16;  // bytes a point, the widest value

constexpr unsigned no_field = ~0u;

}  // namespace

catalogue::Value_bytes state_answer(host::Reference_host const& host, catalogue::Shader const& row) {
  catalogue::Value_bytes value{};
  auto put = [&](auto const& answer) { std::memcpy(value.data(), &answer, sizeof answer); };
  catalogue::Type const type = row.result;
  int const id = row.id;
  using catalogue::Source;
  using catalogue::Type;
  bool const integer = type == Type::int_ || type == Type::bool_;
  switch (row.source) {
    case Source::state:
      if (integer) put(host.state_int(id));
      else if (type == Type::float_) put(host.state_float(id));
      else if (type == Type::float2) put(host.state_float2(id));
      else put(host.state_float3(id));
      break;
    case Source::render:
      if (integer) put(host.render_int(id));
      else put(host.render_float(id));
      break;
    default:
      if (integer) put(host.camera_int(id));
      else if (type == Type::float2) put(host.camera_float2(id));
      else put(host.camera_float(id));
  }
  return value;
}

namespace {

// The host's textures, a run of points at a time.
void lookup(void* user, kvx_batch_lookup kind, std::size_t count, std::uint32_t const* textures,
            float const* coordinates, float* colors) {
  auto const& host = *static_cast<host::Reference_host const*>(user);
  constexpr host::Lookup lookups[] = {host::Lookup::tex1d, host::Lookup::tex2d, host::Lookup::tex3d,
                                      host::Lookup::texcube};
  host::Lookup const which = lookups[kind - 1];
  unsigned const dimensions = host::dimensions(which);
  for (std::size_t i = 0; i < count; ++i) {
    ZR::SHADER::Color const color = host.texture(which, textures[i], coordinates + i * dimensions);
    std::memcpy(colors + 4 * i, &color, sizeof color);
  }
}

}  // namespace

void Block_fields::set(char const* shader, float const* values, unsigned width) {
  unsigned const field = catalogue::find(shader)->index - first_state_shader;
  arrays_[field] = {values, static_cast<std::ptrdiff_t>(width)};
  state_[field] = &arrays_[field];
}

kvx_batch_host batch_host(host::Reference_host const& host) {
  return {&lookup, const_cast<host::Reference_host*>(&host)};
}

host::Batch_library const& batch_library() {
  static host::Batch_library const loaded;
  return loaded;
}

// One call over a block: an instance's batch function, or a float result
// repeated into every component for the instances that take it splatted.
struct Batch_shading::Step {
  kvx_batch_function* function = nullptr;  // null: a splat of `source`
  std::array<kvx_batch_values, catalogue::max_parameters> parameters{};
  unsigned field = no_field;  // a State_ shader's field, read from the block
  kvx_batch_values source{};  // what a splat repeats
  unsigned char* out = nullptr;
  unsigned width = 0;
  std::size_t buffer = 0;
};

Batch_shading::Batch_shading(Network const& network, Network::Node output, host::Reference_host const& host,
                             std::array<bool, state_shaders> const& varies, bool keep_all,
                             host::Batch_library const& library)
    : host_(batch_host(host)), output_(output) {
  std::vector<Network::Node> const order = network.order(output);
  std::size_t const nodes = network.size();
  held_.resize(2 * nodes);  // a node's value, then its splat
  values_.assign(2 * nodes, kvx_batch_values{nullptr, 0});
  std::vector<bool> varying(2 * nodes, false), splatted(nodes, false);
  for (Network::Node node : order)
    for (unsigned k = 0; k < network.shader(node).parameter_count; ++k)
      if (network.input(node, k).connected && network.input(node, k).splat) splatted[network.input(node, k).source] = true;

  // The steps in order, each node's value where it lies: held if nothing it
  // reads varies, else in a buffer, placed below.
  std::vector<std::size_t> writer(2 * nodes, ~std::size_t{0});  // the step that makes a value
  std::vector<std::vector<std::size_t>> reads;                  // by step, the values it reads
  auto add_step = [&](Step step, std::size_t value, std::vector<std::size_t> inputs) {
    writer[value] = steps_.size();
    steps_.push_back(step);
    reads.push_back(std::move(inputs));
  };
  for (Network::Node node : order) {
    catalogue::Shader const& row = network.shader(node);
    Step step;
    step.function = library.function(row.index);
    step.width = catalogue::width(row.result);
    std::vector<std::size_t> inputs;
    bool varies_here = false;
    if (row.source != catalogue::Source::none) {
      unsigned const field = row.index - first_state_shader;
      if (varies[field]) {
        step.field = field;
        reads_[field] = true;
        varies_here = true;
      } else {
        held_[2 * node] = state_answer(host, row);  // what the state shader reads, for now
        step.parameters[0] = {held_[2 * node].data(), 0};
      }
    }
    for (unsigned k = 0; k < row.parameter_count; ++k) {
      Network::Input const& input = network.input(node, k);
      if (!input.connected) {
        step.parameters[k] = {network.constant(node, k).data(), 0};
        continue;
      }
      std::size_t const source = 2 * input.source + (input.splat ? 1 : 0);
      inputs.push_back(source);
      varies_here = varies_here || varying[source];
    }
    std::size_t const value = 2 * node;
    if (!varies_here) {
      // Once, now: its inputs are held already.
      catalogue::Value_bytes answer{};
      for (unsigned k = 0; k < row.parameter_count; ++k) {
        Network::Input const& input = network.input(node, k);
        if (input.connected) step.parameters[k] = values_[2 * input.source + (input.splat ? 1 : 0)];
      }
      if (step.function(&host_, 1, step.parameters.data(), {answer.data(), step.width}) != KVX_BATCH_DONE)
        throw std::runtime_error("the batch function of " + std::string(row.name) + " refused the network's values");
      held_[value] = answer;
      values_[value] = {held_[value].data(), 0};
    } else {
      varying[value] = true;
      add_step(step, value, inputs);
    }
    if (splatted[node]) {
      std::size_t const splat = value + 1;
      if (!varying[value]) {
        for (unsigned c = 0; c < 4; ++c) std::memcpy(held_[splat].data() + 4 * c, held_[value].data(), 4);
        values_[splat] = {held_[splat].data(), 0};
      } else {
        varying[splat] = true;
        Step repeat;
        repeat.width = value_room;
        add_step(repeat, splat, {value});
      }
    }
  }

  // Buffers: a value's is free again once the last step that reads it has
  // run (never, for the output, or with keep_all).
  std::vector<std::size_t> last_read(steps_.size(), 0);
  for (std::size_t s = 0; s < steps_.size(); ++s)
    for (std::size_t value : reads[s])
      if (writer[value] != ~std::size_t{0}) last_read[writer[value]] = s;
  std::vector<std::size_t> free;
  std::vector<std::vector<std::size_t>> frees_after(steps_.size());
  std::size_t count = 0;
  for (std::size_t s = 0; s < steps_.size(); ++s) {
    if (free.empty()) {
      steps_[s].buffer = count++;
    } else {
      steps_[s].buffer = free.back();
      free.pop_back();
    }
    bool const kept = keep_all || s + 1 == steps_.size() || last_read[s] <= s;
    if (!kept) frees_after[last_read[s]].push_back(steps_[s].buffer);
    for (std::size_t buffer : frees_after[s]) free.push_back(buffer);
  }
  block_ = std::clamp<std::size_t>(memory_budget / (std::max<std::size_t>(count, 1) * value_room), 1, most_points);
  buffers_.resize(count);
  for (auto& buffer : buffers_) buffer.resize(block_ * value_room);

  // Where each value lies, and each step's inputs and output.
  for (std::size_t value = 0; value < writer.size(); ++value)
    if (writer[value] != ~std::size_t{0}) {
      Step& step = steps_[writer[value]];
      step.out = buffers_[step.buffer].data();
      values_[value] = {step.out, static_cast<std::ptrdiff_t>(step.width)};
    }
  for (Network::Node node : order) {
    if (writer[2 * node] != ~std::size_t{0}) {
      Step& step = steps_[writer[2 * node]];
      catalogue::Shader const& row = network.shader(node);
      for (unsigned k = 0; k < row.parameter_count; ++k) {
        Network::Input const& input = network.input(node, k);
        if (input.connected) step.parameters[k] = values_[2 * input.source + (input.splat ? 1 : 0)];
      }
    }
    if (writer[2 * node + 1] != ~std::size_t{0}) steps_[writer[2 * node + 1]].source = values_[2 * node];
  }
  if (!keep_all)
    for (std::size_t value = 0; value < values_.size(); ++value)
      if (writer[value] != ~std::size_t{0} && value != 2 * output_) values_[value] = {nullptr, 0};
}

Batch_shading::~Batch_shading() = default;

kvx_batch_values Batch_shading::values(Network::Node node) const { return values_.at(2 * node); }

void Batch_shading::run(Step& step, std::size_t count) {
  if (!step.function) {
    float const* from = static_cast<float const*>(step.source.data);
    float* to = reinterpret_cast<float*>(step.out);
    for (std::size_t i = 0; i < count; ++i) to[4 * i] = to[4 * i + 1] = to[4 * i + 2] = to[4 * i + 3] = from[i];
    return;
  }
  step.function(&host_, count, step.parameters.data(), {step.out, static_cast<std::ptrdiff_t>(step.width)});
}

kvx_batch_values Batch_shading::shade(std::size_t count, Block_state const& state) {
  for (Step& step : steps_) {
    if (step.field != no_field) step.parameters[0] = *state[step.field];
    run(step, count);
  }
  return values_[2 * output_];
}

void compare_instances(Shading_thread& thread, Batch_shading const& batch, std::vector<Network::Node> const& order,
                       std::size_t i, unsigned x, unsigned y, Mismatches& mismatches) {
  Network& network = thread.network();
  Network::Node const output = order.back();
  network.next_point();
  network.evaluate(output, thread.host(), Paths::c);
  std::vector<catalogue::Value_bytes> c_values;
  for (Network::Node node : order) c_values.push_back(network.result(node));
  network.next_point();
  network.evaluate(output, thread.host(), Paths::cpp);
  for (std::size_t n = 0; n < order.size(); ++n) {
    Network::Node const node = order[n];
    unsigned const width = catalogue::width(network.result_type(node));
    catalogue::Value_bytes const& cpp_value = network.result(node);
    kvx_batch_values const values = batch.values(node);
    catalogue::Value_bytes batch_value{};
    std::memcpy(batch_value.data(),
                static_cast<unsigned char const*>(values.data) + static_cast<std::ptrdiff_t>(i) * values.stride, width);
    if (std::memcmp(c_values[n].data(), cpp_value.data(), width) != 0)
      return mismatches.record({x, y, Paths::c, Paths::cpp, c_values[n], cpp_value, node, {}});
    if (std::memcmp(c_values[n].data(), batch_value.data(), width) != 0)
      return mismatches.record({x, y, Paths::c, Paths::batch, c_values[n], batch_value, node, {}});
  }
}

}  // namespace kvx::network
