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

constexpr std::uint32_t edge_floats[] = {
    0x00000000, 0x80000000,  // ±0
    0x00000001, 0x807fffff,  // the smallest and the largest subnormal, of either sign
    0x007fffff, 0x00800000,  // the largest subnormal and the smallest normal
    0x3f800000, 0xbf800000,  // ±1
    0x7f800000, 0xff800000,  // ±infinity
    0x7fc01234, 0xff805678,  // a quiet NaN and a signalling one, of either sign, with payloads
    0x4b800001, 0xcf000000,  // past 2^24: 16777218 and -2^31
    0x7f7fffff, 0x3e99999a,  // the largest float, 0.3
    0xc0200000, 0x40490fdb,  // -2.5, pi
};
constexpr std::uint32_t edge_ints[] = {0, 1, 0xffffffff, 2, 0xfffffffe, 0x80000000, 0x7fffffff, 0x80000001,
                                       0x01000001, 0xfeffffff, 46341, 7, 0xfffffff9, 65536};
constexpr std::uint32_t edge_truths[] = {0, 1, 2, 255};
constexpr std::uint32_t edge_handles[] = {0, 1, 2, 0xffffffff};

void put(catalogue::Value_bytes& value, catalogue::Type t, unsigned component, std::uint32_t word) {
  if (kind(t) == catalogue::Kind::truth) value[component] = static_cast<std::uint8_t>(word);
  else std::memcpy(value.data() + 4 * component, &word, 4);
}

}  // namespace

std::span<std::uint32_t const> edge_words(catalogue::Kind kind) {
  switch (kind) {
    case catalogue::Kind::real: return edge_floats;
    case catalogue::Kind::integer: return edge_ints;
    case catalogue::Kind::truth: return edge_truths;
    default: return edge_handles;
  }
}

catalogue::Value_bytes edge_value(catalogue::Type t, unsigned pick) {
  auto const words = edge_words(kind(t));
  catalogue::Value_bytes value{};
  for (unsigned i = 0; i < components(t); ++i) put(value, t, i, words[(pick + 5 * i) % words.size()]);
  return value;
}

catalogue::Value_bytes corpus_value(catalogue::Type t, unsigned round, unsigned k) {
  return edge_value(t, round * 3 + k * 7);
}

std::uint64_t mix(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15u;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

catalogue::Value_bytes random_value(catalogue::Type t, std::uint64_t key, unsigned round, unsigned k) {
  catalogue::Value_bytes value{};
  for (unsigned i = 0; i < components(t); ++i) {
    std::uint64_t const r = mix(key ^ std::uint64_t{round} << 16 ^ k << 8 ^ i);
    auto word = static_cast<std::uint32_t>(r);
    if (round % 2) {
      if (kind(t) == catalogue::Kind::real)
        word = (word & 0x807fffffu) | (127 - 24 + static_cast<std::uint32_t>((r >> 32) % 49)) << 23;
      else if (kind(t) == catalogue::Kind::integer)
        word = static_cast<std::uint32_t>(static_cast<std::int32_t>(word) >> ((r >> 32) % 31));
    }
    if (kind(t) == catalogue::Kind::truth) word = static_cast<std::uint32_t>((r >> 32) % 3);
    put(value, t, i, word);
  }
  return value;
}

void fill_state(kvx::test::Recording_host& host, unsigned round) {
  for (int id = 0; id < 42; ++id) {
    auto const at = static_cast<unsigned>(id) + round;
    float f = from_bits(edge_floats[at % std::size(edge_floats)]);
    host.set_int(id, static_cast<std::int32_t>(edge_ints[at % std::size(edge_ints)]));
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
