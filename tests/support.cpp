#include "support.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace kvx::test {

host::Library& library() {
  static host::Library loaded;
  return loaded;
}

catalogue::Shader const& row(std::string_view shader) {
  auto const* r = catalogue::find(shader);
  if (!r) throw std::invalid_argument("no shader " + std::string(shader));
  return *r;
}

ZR::SHADER::Software_shader_plugin* new_plugin(std::string_view shader) {
  return static_cast<ZR::SHADER::Software_shader_plugin*>(library().plugin(row(shader).index));
}

Bytes bools(std::initializer_list<int> values) {
  Bytes b{};
  unsigned i = 0;
  for (int v : values) b[i++] = static_cast<std::uint8_t>(v);
  return b;
}

Bytes evaluate(std::string_view shader, std::vector<Bytes> const& arguments, host::Host* host) {
  auto const& r = row(shader);
  if (arguments.size() != r.parameter_count) throw std::invalid_argument("argument count for " + std::string(shader));
  std::optional<host::Host> local;  // a second live Host would take over zr_get_korvex_interface
  if (!host) host = &local.emplace();

  host::Block inputs;
  for (unsigned k = 0; k < r.parameter_count; ++k)
    inputs.set_bytes(r.parameter_list[k].name, arguments[k].data(), width(r.parameter_list[k].type));

  std::unique_ptr<ZR::SHADER::Software_shader_plugin, void (*)(ZR::SHADER::Software_shader_plugin*)> plugin{
      new_plugin(shader), [](ZR::SHADER::Software_shader_plugin* p) { p->release(); }};
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &inputs);

  host::Block output;
  output.add_result();
  object->main(host->state(), &output);
  object->release();
  Bytes result{};
  std::memcpy(result.data(), output.find("result"), width(r.result));
  return result;
}

Entry* c_entry(std::string_view shader) {
  auto* entry = library().function<Entry>(std::string(shader).c_str());
  if (!entry) throw std::invalid_argument("no C entry " + std::string(shader));
  return entry;
}

C_result call_c(Entry* entry, host::Host& host, C_block& block) {
  C_result r;
  r.area.fill(canary);
  r.returned = entry(r.area.data(), host.record().get(), block.params());
  return r;
}

C_result call_c(std::string_view shader, host::Host& host, C_block& block) {
  return call_c(c_entry(shader), host, block);
}

Bytes evaluate_c(std::string_view shader, std::vector<Bytes> const& arguments, host::Host* host) {
  auto const& r = row(shader);
  std::optional<host::Host> local;
  if (!host) host = &local.emplace();
  C_block block;
  host->record().set_tag_offset(block.tag_offset());
  for (unsigned k = 0; k < r.parameter_count; ++k) block.set(r.parameter_list[k], arguments.at(k));
  Bytes value{};
  std::memcpy(value.data(), call_c(shader, *host, block).area.data(), width(r.result));
  return value;
}

::testing::AssertionResult same_floats(Bytes const& actual, std::initializer_list<float> expected) {
  unsigned i = 0;
  for (float e : expected) {
    float a = float_at(actual, i);
    if (bits(a) != bits(e)) {
      char text[160];
      std::snprintf(text, sizeof text, "component %u: got %.9g (0x%08x), expected %.9g (0x%08x)", i, a, bits(a), e,
                    bits(e));
      return ::testing::AssertionFailure() << text;
    }
    ++i;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult same_bytes(Bytes const& actual, Bytes const& expected, unsigned width) {
  for (unsigned i = 0; i < width; ++i)
    if (actual[i] != expected[i])
      return ::testing::AssertionFailure() << "byte " << i << ": got " << int(actual[i]) << ", expected "
                                           << int(expected[i]);
  return ::testing::AssertionSuccess();
}

}  // namespace kvx::test
