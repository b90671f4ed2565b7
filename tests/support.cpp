// SPDX-License-Identifier: Apache-2.0
#include "support.h"

#include <climits>
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

catalogue::Value_bytes bools(std::initializer_list<int> values) {
  catalogue::Value_bytes b{};
  unsigned i = 0;
  for (int v : values) b[i++] = static_cast<std::uint8_t>(v);
  return b;
}

catalogue::Value_bytes evaluate(std::string_view shader, std::vector<catalogue::Value_bytes> const& arguments,
                                kvx::test::Recording_host* host) {
  auto const& r = row(shader);
  if (arguments.size() != r.parameter_count) throw std::invalid_argument("argument count for " + std::string(shader));
  std::optional<kvx::test::Recording_host> local;  // a second live host would take over zr_get_korvex_interface
  if (!host) host = &local.emplace();

  kvx::test::Block inputs;
  for (unsigned k = 0; k < r.parameter_count; ++k)
    inputs.set_bytes(r.parameter_list[k].name, arguments[k].data(), width(r.parameter_list[k].type));

  catalogue::Value_bytes result = host::Shader_object(*library().shader_plugin(r.index), inputs).result(host->state());
  std::fill(result.begin() + width(r.result), result.end(), 0);
  return result;
}

Entry* c_entry(std::string_view shader) {
  auto* entry = library().function<Entry>(std::string(shader).c_str());
  if (!entry) throw std::invalid_argument("no C entry " + std::string(shader));
  return entry;
}

C_result call_c(Entry* entry, kvx::test::Recording_host& host, C_block& block) {
  C_result r;
  r.area.fill(canary);
  r.returned = entry(r.area.data(), host.record().get(), block.params());
  return r;
}

C_result call_c(std::string_view shader, kvx::test::Recording_host& host, C_block& block) {
  return call_c(c_entry(shader), host, block);
}

catalogue::Value_bytes evaluate_c(std::string_view shader, std::vector<catalogue::Value_bytes> const& arguments,
                                  kvx::test::Recording_host* host) {
  auto const& r = row(shader);
  std::optional<kvx::test::Recording_host> local;
  if (!host) host = &local.emplace();
  C_block block;
  host->record().set_tag_offset(block.tag_offset());
  for (unsigned k = 0; k < r.parameter_count; ++k) block.set(r.parameter_list[k], arguments.at(k));
  catalogue::Value_bytes value{};
  std::memcpy(value.data(), call_c(shader, *host, block).area.data(), width(r.result));
  return value;
}

namespace {

std::uint32_t const float_corpus[] = {
    0x00000000, 0x80000000, 0x3f800000, 0xbf800000, 0x7fc01234, 0xffa00001, 0x7f800000, 0xff800000,
    0x00000001, 0x807fffff, 0x7f7fffff, 0xff7fffff, 0x3f000000, 0x40490fdb, 0xc2fe0000, 0x43000000};
std::int32_t const int_corpus[] = {0, 1, -1, INT_MIN, INT_MAX, 7, -7, 65536, 31, 2};
std::uint8_t const bool_corpus[] = {0, 1, 2};

}  // namespace

catalogue::Value_bytes corpus_value(catalogue::Type t, unsigned round, unsigned k) {
  catalogue::Value_bytes b{};
  for (unsigned i = 0; i < components(t); ++i) {
    unsigned pick = round * 3 + k * 7 + i * 5;
    switch (kind(t)) {
      case catalogue::Kind::real: {
        float f = from_bits(float_corpus[pick % std::size(float_corpus)]);
        std::memcpy(b.data() + 4 * i, &f, 4);
        break;
      }
      case catalogue::Kind::truth: b[i] = bool_corpus[pick % std::size(bool_corpus)]; break;
      default: {
        std::int32_t v = int_corpus[pick % std::size(int_corpus)];
        std::memcpy(b.data() + 4 * i, &v, 4);
      }
    }
  }
  return b;
}

void fill_state(kvx::test::Recording_host& host, unsigned round) {
  for (int id = 0; id < 42; ++id) {
    float f = from_bits(float_corpus[(id + round) % std::size(float_corpus)]);
    host.set_int(id, int_corpus[(id + round) % std::size(int_corpus)]);
    host.set_float(id, f);
    host.set_float2(id, {f, -f});
    host.set_float3(id, {f, 1.0f, -0.0f});
    host.set_render_int(id, id * 3 - 7);
    host.set_render_float(id, f * 0.5f);
    host.set_camera_int(id, id % 2);
    host.set_camera_float(id, -f);
    host.set_camera_float2(id, {f, 2.0f});
  }
}

::testing::AssertionResult same_floats(catalogue::Value_bytes const& actual, std::initializer_list<float> expected) {
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

::testing::AssertionResult same_bytes(catalogue::Value_bytes const& actual, catalogue::Value_bytes const& expected,
                                      unsigned width) {
  for (unsigned i = 0; i < width; ++i)
    if (actual[i] != expected[i])
      return ::testing::AssertionFailure() << "byte " << i << ": got " << int(actual[i]) << ", expected "
                                           << int(expected[i]);
  return ::testing::AssertionSuccess();
}

}  // namespace kvx::test
