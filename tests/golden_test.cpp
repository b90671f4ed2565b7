// SPDX-License-Identifier: Apache-2.0
// The golden record: every shader's bits over a fixed, generated set of
// inputs, through the C entry in plain mode, in gathering mode and on a shadow
// ray (with the record it stores), and through the shader object, kept as one
// digest a shader in tests/golden/shaders.txt. The other tests compare the
// paths with each other and with worked values; this one holds them all to
// what they gave when the record was made, so that a change that moves every
// path alike (fused multiply-adds, another C library) is seen, shader by shader.
//
// A shader's inputs are keyed by its name, never its place in the catalogue:
// a new row changes no other shader's record. They are every combination of
// the edge values of its parameters' kinds, each in every parameter position,
// and random values over the whole range.
//
// A change of bits on purpose makes the record anew: scripts/golden.sh.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <host/laid_out_blocks.h>
#include <host/plugin_objects.h>

#include "support.h"

namespace kvx::test {
namespace {

using catalogue::Kind;
using catalogue::Type;

std::string const record_path = KVX_SOURCE_DIR "/tests/golden/shaders.txt";
constexpr unsigned random_rounds = 1024;
constexpr int shadow_ray = 4;

std::uint64_t name_key(std::string_view name) {
  std::uint64_t key = 0xcbf29ce484222325u;
  for (char c : name) key = (key ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
  return key;
}

// Which NaN a result carries is the library's promise only where one NaN can
// reach it. Where two meet, which one an operation passes on is the
// compiler's choice (it may swap the operands of an add), and differs between
// optimisation levels: there a NaN counts as one value.
enum class Nan_bits {
  exact,          // selections, pass-through and sign operations: bit for bit always
  per_component,  // one operation per component: exact unless two NaNs meet in the component
  any_nan,        // several operations in a row: a NaN met by a NaN made inside; any NaN input counts as one
};

Nan_bits nan_bits(catalogue::Shader const& row) {
  static std::set<std::string_view> const exact{
      "abs", "clamp", "conditional", "ddx", "ddy", "faceforward", "max", "min", "normalize", "saturate", "sign",
      "step", "exp2", "all", "any", "and", "or", "equal", "not_equal", "less_than", "greater_than",
      "less_than_or_equal", "greater_than_or_equal", "tex1d", "tex2d", "tex3d", "texcube"};
  static std::set<std::string_view> const per_component{
      "add", "subtract", "multiply", "divide", "fmod", "pow", "exp", "acos", "asin", "atan", "atan2", "ceil", "cos",
      "degrees", "floor", "frac", "log", "log2", "log10", "radians", "round", "rsqrt", "sin", "sqrt", "tan"};
  static std::set<std::string_view> const reduced{"dot", "length", "distance"};  // one operation on a scalar
  static std::set<std::string_view> const any_nan{"lerp", "smoothstep", "cross", "reflect", "refract"};
  if (row.source != catalogue::Source::none || exact.contains(row.operation)) return Nan_bits::exact;
  if (per_component.contains(row.operation)) return Nan_bits::per_component;
  if (reduced.contains(row.operation))
    return row.type == Type::float_ ? Nan_bits::per_component : Nan_bits::any_nan;
  if (any_nan.contains(row.operation)) return Nan_bits::any_nan;
  ADD_FAILURE() << row.name << ": its operation has no NaN rule here";
  return Nan_bits::any_nan;
}

bool is_nan_word(std::uint32_t word) { return (word & 0x7fffffffu) > 0x7f800000u; }

std::uint32_t word_at(catalogue::Value_bytes const& value, unsigned component) {
  std::uint32_t word;
  std::memcpy(&word, value.data() + 4 * component, 4);
  return word;
}

// Per component of the result: whether a NaN there counts as one value.
std::array<bool, 4> nan_as_one(catalogue::Shader const& row, std::vector<catalogue::Value_bytes> const& inputs) {
  std::array<bool, 4> as_one{};
  Nan_bits const rule = nan_bits(row);
  if (rule == Nan_bits::exact) return as_one;
  for (unsigned j = 0; j < 4; ++j) {
    unsigned nans = 0;
    for (unsigned k = 0; k < row.parameter_count; ++k) {
      Type const t = row.parameter_list[k].type;
      if (kind(t) != Kind::real) continue;
      if (rule == Nan_bits::any_nan) {
        for (unsigned i = 0; i < components(t); ++i) nans += is_nan_word(word_at(inputs[k], i));
      } else {
        nans += is_nan_word(word_at(inputs[k], components(t) == 1 ? 0 : j));
      }
    }
    as_one[j] = rule == Nan_bits::any_nan ? nans >= 1 : nans >= 2;
  }
  return as_one;
}

// FNV-1a over every result's bytes, in order; the floats of a result where
// `as_one` says so with any NaN as the one quiet NaN.
struct Digest {
  std::uint64_t value = 0xcbf29ce484222325u;
  void add(std::uint8_t const* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) value = (value ^ bytes[i]) * 0x100000001b3u;
  }
  void add(Type type, std::uint8_t const* bytes, std::size_t count, std::array<bool, 4> const& as_one) {
    std::uint8_t copy[32];
    std::memcpy(copy, bytes, count);
    if (kind(type) == Kind::real)
      for (unsigned i = 0; i < components(type) && 4 * i < count; ++i) {
        std::uint32_t word;
        std::memcpy(&word, copy + 4 * i, 4);
        if (as_one[i] && is_nan_word(word)) std::memcpy(copy + 4 * i, &one_nan, 4);
      }
    add(copy, count);
  }
  static constexpr std::uint32_t one_nan = 0x7fc00000;
  std::string text() const {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
  }
};

// Host answers for the state read-outs and the shadow weight, the same for a
// round whatever the catalogue holds.
void fill_host(Recording_host& host, unsigned round) {
  auto const floats = edge_words(Kind::real), ints = edge_words(Kind::integer);
  for (unsigned id = 0; id < 64; ++id) {
    std::uint64_t const r = mix(std::uint64_t{round} << 8 ^ id);
    // The edge values first, then random bits.
    auto word = [&](std::span<std::uint32_t const> edges, unsigned n) {
      return round < floats.size() ? edges[(round + n + id) % edges.size()] : static_cast<std::uint32_t>(mix(r + n));
    };
    float const f = from_bits(word(floats, 0)), g = from_bits(word(floats, 1)), h = from_bits(word(floats, 2));
    int const i = static_cast<int>(id);
    host.set_int(i, static_cast<int>(word(ints, 0)));
    host.set_float(i, f);
    host.set_float2(i, {f, g});
    host.set_float3(i, {f, g, h});
    host.set_render_int(i, static_cast<int>(r >> 32));
    host.set_render_float(i, g);
    host.set_camera_int(i, static_cast<int>(r >> 16));
    host.set_camera_float(i, h);
    host.set_camera_float2(i, {h, f});
  }
  host.set_shadow_weight({0.5f, -2.0f, 0.0f, 3.0f});
  host.record().set_shadow_context(0x5a5a0000u + round);
}

// One shader's digest over all its inputs.
class Shader_digest {
 public:
  explicit Shader_digest(catalogue::Shader const& row)
      : row_(row), entry_(c_entry(row.name)), plugin_(library().shader_plugin(row.index)) {
    host_.set_recording(false);
    host_.record().set_tag_offset(block_.tag_offset());
    fill_host(host_, 0);
  }

  void add(std::vector<catalogue::Value_bytes> const& inputs) {
    for (unsigned k = 0; k < row_.parameter_count; ++k) {
      block_.set(row_.parameter_list[k], inputs[k]);
      named_.set_bytes(row_.parameter_list[k].name, inputs[k].data(), width(row_.parameter_list[k].type));
    }
    auto const as_one = nan_as_one(row_, inputs);
    Type const result = row_.result;
    host_.record().set_ray_type(0);
    host_.set_gather_flag(0);
    digest_.add(result, call_c(entry_, host_, block_).area.data(), slot_size(result), as_one);
    host_.set_gather_flag(1);
    digest_.add(result, call_c(entry_, host_, block_).area.data(), 16, as_one);
    // A shadow ray: a four-float result is stored, weighted and delivered.
    host_.record().set_ray_type(shadow_ray);
    digest_.add(result, call_c(entry_, host_, block_).area.data(), 16, as_one);
    if (auto const stored = host_.shader_state("kvx:shadow"); stored && stored->size() == 36) {
      digest_.add(result, stored->data(), 16, as_one);
      digest_.add(stored->data() + 16, 20);
    }
    host_.set_gather_flag(0);
    host_.record().set_ray_type(0);
    host::Shader_object object(*plugin_, named_);
    digest_.add(result, object.result(host_.state(), output_).data(), width(result), as_one);
  }

  void add_state_rounds() {
    for (unsigned round = 0; round < edge_words(Kind::real).size() + random_rounds; ++round) {
      fill_host(host_, round);
      add({});
    }
  }

  std::string text() const { return digest_.text(); }

 private:
  catalogue::Shader const& row_;
  Entry* entry_;
  host::Plugin_ptr plugin_;
  Recording_host host_{1};
  C_block block_;
  host::Block named_;
  host::Result_block output_;
  Digest digest_;
};

std::string digest(catalogue::Shader const& row) {
  Shader_digest digest(row);
  if (row.parameter_count == 0) {
    digest.add_state_rounds();
    return digest.text();
  }
  std::vector<catalogue::Value_bytes> inputs(row.parameter_count);
  // Every combination of the edge values, the first parameter's changing slowest.
  std::size_t combinations = 1;
  for (auto const& p : row.parameters()) combinations *= edge_words(kind(p.type)).size();
  for (std::size_t n = 0; n < combinations; ++n) {
    std::size_t rest = n;
    for (unsigned k = row.parameter_count; k-- > 0;) {
      std::size_t const count = edge_words(kind(row.parameter_list[k].type)).size();
      inputs[k] = edge_value(row.parameter_list[k].type, static_cast<unsigned>(rest % count));
      rest /= count;
    }
    digest.add(inputs);
  }
  std::uint64_t const key = name_key(row.name);
  for (unsigned round = 0; round < random_rounds; ++round) {
    for (unsigned k = 0; k < row.parameter_count; ++k) inputs[k] = random_value(row.parameter_list[k].type, key, round, k);
    digest.add(inputs);
  }
  return digest.text();
}

std::map<std::string, std::string> recorded() {
  std::map<std::string, std::string> by_name;
  std::ifstream in(record_path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, digest;
    fields >> name >> digest;
    by_name[name] = digest;
  }
  return by_name;
}

TEST(Golden, EveryShaderGivesTheBitsOfTheRecord) {
  std::map<std::string, std::string> now;
  for (auto const& r : catalogue::shaders) now[std::string(r.name)] = digest(r);
  if (char const* write = std::getenv("KVX_GOLDEN_WRITE"); write && *write) {
    std::ofstream out(record_path);
    out << "# The golden record: a digest of every shader's bits over tests/golden_test.cpp's inputs.\n"
           "# Made by scripts/golden.sh, on purpose only; a change here is a change of the library's bits.\n";
    for (auto const& r : catalogue::shaders) out << r.name << ' ' << now.at(std::string(r.name)) << '\n';
    GTEST_SKIP() << "wrote " << record_path;
  }
  auto const record = recorded();
  ASSERT_EQ(record.size(), catalogue::shader_count) << "no record of every shader in " << record_path;
  unsigned moved = 0;
  for (auto const& r : catalogue::shaders) {
    std::string const name(r.name);
    auto const it = record.find(name);
    if (it != record.end() && it->second == now.at(name)) continue;
    ++moved;
    ADD_FAILURE() << name << ": its bits moved: digest " << now.at(name) << ", the record's "
                  << (it == record.end() ? "none" : it->second);
  }
  if (moved)
    ADD_FAILURE() << moved << " shaders give other bits than the record. If that is meant, make the record anew "
                  << "(scripts/golden.sh) and say why in the change.";
}

}  // namespace
}  // namespace kvx::test
