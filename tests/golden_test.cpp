// SPDX-License-Identifier: Apache-2.0
// The golden record: every shader's bits over a fixed, generated set of
// inputs, edge values among them, through the C entry in plain and in
// gathering mode and through the shader object, kept as one digest a shader
// in tests/golden/shaders.txt. The other tests compare the two paths with
// each other and with worked values; this one holds both to what they gave
// when the record was made, so that a change that moves both alike (fused
// multiply-adds, another C library) is seen, shader by shader.
//
// A change of bits on purpose makes the record anew: scripts/golden.sh.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support.h"

namespace kvx::test {
namespace {

constexpr unsigned rounds = 128;
std::string const record_path = KVX_SOURCE_DIR "/tests/golden/shaders.txt";

// splitmix64: the inputs are the same on every machine and every run.
std::uint64_t mix(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15u;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

// Half the rounds take the edge corpus; the others values spread over many
// magnitudes, both signs, and integers large and small.
catalogue::Value_bytes input(catalogue::Type t, unsigned shader, unsigned round, unsigned k) {
  if (round % 2 == 0) return corpus_value(t, round / 2, k);
  catalogue::Value_bytes b{};
  for (unsigned i = 0; i < components(t); ++i) {
    std::uint64_t const r = mix(std::uint64_t{shader} << 40 ^ std::uint64_t{round} << 16 ^ k << 4 ^ i);
    switch (kind(t)) {
      case catalogue::Kind::real: {
        // Sign, an exponent from 2^-24 to 2^24, any mantissa.
        std::uint32_t const exponent = 127 - 24 + static_cast<std::uint32_t>(r % 49);
        float const f = from_bits(static_cast<std::uint32_t>(r >> 63) << 31 | exponent << 23 |
                                  (static_cast<std::uint32_t>(r >> 8) & 0x7fffff));
        std::memcpy(b.data() + 4 * i, &f, 4);
        break;
      }
      case catalogue::Kind::truth: b[i] = static_cast<std::uint8_t>(r % 3); break;
      default: {
        std::int32_t const v = static_cast<std::int32_t>(r >> 32) >> static_cast<int>(r % 31);
        std::memcpy(b.data() + 4 * i, &v, 4);
      }
    }
  }
  return b;
}

// FNV-1a over every result's bytes, in order. Which NaN a result carries,
// its sign and payload, is the compiler's to choose (an operation passes on
// one of its operands' NaNs, and operands of a product may be swapped), and
// differs between optimisation levels: a NaN component counts as one value.
struct Digest {
  std::uint64_t value = 0xcbf29ce484222325u;
  void add(std::uint8_t const* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) value = (value ^ bytes[i]) * 0x100000001b3u;
  }
  void add(catalogue::Type type, std::uint8_t const* bytes, std::size_t count) {
    std::uint8_t copy[32];
    std::memcpy(copy, bytes, count);
    if (kind(type) == catalogue::Kind::real)
      for (unsigned i = 0; i < components(type); ++i) {
        float component;
        std::memcpy(&component, copy + 4 * i, 4);
        if (std::isnan(component)) std::memcpy(copy + 4 * i, &canonical_nan, 4);
      }
    add(copy, count);
  }
  static constexpr std::uint32_t canonical_nan = 0x7fc00000;
  std::string text() const {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
  }
};

// Every shader's digest, by name.
std::map<std::string, std::string> digests() {
  std::vector<Digest> digest(catalogue::shader_count);
  for (unsigned round = 0; round < rounds; ++round) {
    Recording_host host(1);
    host.set_recording(false);
    fill_state(host, round);
    for (auto const& r : catalogue::shaders) {
      std::vector<catalogue::Value_bytes> arguments;
      C_block block;
      host.record().set_tag_offset(block.tag_offset());
      for (unsigned k = 0; k < r.parameter_count; ++k) {
        arguments.push_back(input(r.parameter_list[k].type, r.index, round, k));
        block.set(r.parameter_list[k], arguments.back());
      }
      for (int gathering : {0, 1}) {
        host.set_gather_flag(gathering);
        C_result const c = call_c(r.name, host, block);
        digest[r.index].add(r.result, c.area.data(), gathering ? 16 : catalogue::slot_size(r.result));
      }
      host.set_gather_flag(0);
      catalogue::Value_bytes const object = evaluate(r.name, arguments, &host);
      digest[r.index].add(r.result, object.data(), width(r.result));
    }
  }
  std::map<std::string, std::string> by_name;
  for (auto const& r : catalogue::shaders) by_name[std::string(r.name)] = digest[r.index].text();
  return by_name;
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
  auto const now = digests();
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
