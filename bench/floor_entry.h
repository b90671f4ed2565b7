// SPDX-License-Identifier: Apache-2.0
// The floor: the least any implementation of the C call protocol can cost.
// Hand-written entries that make exactly the host calls the protocol requires
// and nothing else: no exception guards, no genericity, no shared computation.
// Benchmarks and instruction counts measure the library's entries against
// these, on the same reference host. They are compiled apart from the host
// (floors_*.cpp): like the library, they can only reach its objects through
// their virtual tables, never inline them.
#pragma once

#include <cstdint>
#include <cstring>

#include <bridge/interface/interface.h>
#include <bridge/interface/host_state.h>
#include <catalogue/catalogue.h>
#include <plugin/objects/shader_object.h>

namespace kvx::bench {

namespace record = bridge::record_field;

// A general-convention parameter: default, slot or connection by its tag.
template <class T>
inline T general(Host_state* hs, unsigned char* slot, T unset) {
  auto const* settings = record::read<unsigned char const*>(hs, record::eval_settings);
  std::int32_t const tag_offset = record::read<std::int32_t>(settings, record::tag_offset);
  if (tag_offset == 0) return unset;
  std::uint32_t const tag = record::read<std::uint32_t>(slot + tag_offset, 0);
  if (tag == 0) return unset;
  void const* from = tag == 0xFFFFFFFEu ? slot : zr_phen_eval(hs, slot);
  T value;
  std::memcpy(&value, from, sizeof value);
  return value;
}

// Steps 2 and 3 of docs/host-interface.md: the mode, and the gathering short
// cut on ray type 5.
inline bool skipped(void* result, Host_state* state, std::uint32_t& gathering) {
  zr_query(QUERY_GATHER_FLAG, state, 0, &gathering);
  if (!gathering || record::read<std::int32_t>(state, record::ray_type) != 5) return false;
  std::memset(result, 0, 16);
  return true;
}

// Steps 5 to 8 of docs/host-interface.md: the instance query, then the State,
// the interface released.
inline ZR::SHADER::State* acquire_state(Host_state* state) {
  void** instance;
  zr_query(QUERY_INSTANCE_SLOT, state, 0, &instance);
  auto* runtime = zr_get_korvex_interface(1);
  auto* s = runtime->get_state(state);
  runtime->release();
  return s;
}

// The request walk of gathering mode, written out.
inline void floor_gather(ZR::SHADER::State* s, unsigned char const* value) {
  auto* list = s->get_output_requests();
  if (!list) return;
  static unsigned char const zeros[16] = {};
  for (std::uint32_t i = 0; i < record::read<std::uint32_t>(list, record::request_count); ++i) {
    auto const* entry = record::read<unsigned char const*>(list, record::request_entries) + 16 * i;
    std::uint32_t const code = record::read<std::uint32_t const*>(list, record::request_type_codes)[i];
    void* destination = record::read<void* const*>(list, record::request_destinations)[i];
    if (record::read<std::uint32_t>(entry, 0) == 1) {
      char const* name = record::read<char const*>(entry, 8);
      unsigned const width = code == 2 ? 4 : code == 3 ? 8 : code == 4 ? 12 : code == 5 || code == 12 ? 16 : 0;
      std::memcpy(destination, std::strcmp(name, "result") == 0 ? value : zeros, width);
    } else if (code == 4) {
      auto v = s->get_state_float3(static_cast<int>(record::read<std::uint32_t>(entry, 8)));
      std::memcpy(destination, &v, 12);
    }
  }
  record::write(list, record::requests_done, std::uint8_t{1});
}

template <unsigned Index, std::size_t K>
inline auto read_parameter(Host_state* hs, unsigned char* block) {
  static constexpr auto& p = catalogue::shaders[Index].parameter_list[K];
  catalogue::Value<p.type> unset;
  std::memcpy(&unset, p.default_value.data(), sizeof unset);
  if (p.has_default) return general(hs, block + p.offset, unset);
  // Scalar integers: tags only when integer_tags is 1.
  auto const* settings = record::read<unsigned char const*>(hs, record::eval_settings);
  void const* from = block + p.offset;
  if (record::read<std::uint8_t>(settings, record::integer_tags) == 1) {
    std::uint32_t const tag =
        record::read<std::uint32_t>(block + p.offset + record::read<std::int32_t>(settings, record::tag_offset), 0);
    if (tag != 0 && tag != 0xFFFFFFFEu) from = zr_phen_eval(hs, block + p.offset);
  }
  std::memcpy(&unset, from, sizeof unset);
  return unset;
}

// State_normal and State_dot_nd: a normal from the block in place while the
// State is read, the host's put back afterwards.
class Floor_normal {
 public:
  Floor_normal(Host_state* state, unsigned char* block) : state_(state) {
    std::memcpy(saved_, field(), sizeof saved_);
    auto const* settings = record::read<unsigned char const*>(state, record::eval_settings);
    std::int32_t const tag_offset = record::read<std::int32_t>(settings, record::tag_offset);
    if (tag_offset == 0) return;
    std::uint32_t const tag = record::read<std::uint32_t>(block + tag_offset, 0);
    if (tag != 0) std::memcpy(field(), tag == 0xFFFFFFFEu ? block : zr_phen_eval(state, block), 12);
  }
  ~Floor_normal() { std::memcpy(field(), saved_, sizeof saved_); }

 private:
  unsigned char* field() { return reinterpret_cast<unsigned char*>(state_) + record::normal; }
  Host_state* state_;
  float saved_[3];
};

// Any shader, plain or gathering mode (no shadow rays): the protocol written
// out for its parameter list, with the library's own arithmetic inline.
template <unsigned Index, class Operation>
int floor_entry(void* result, Host_state* state, void* params) {
  static constexpr auto& row = catalogue::shaders[Index];
  if (!result) return 1;
  std::uint32_t gathering = 0;
  if (skipped(result, state, gathering)) return 0;
  auto* block = static_cast<unsigned char*>(params);
  auto const compute = [&] {
    auto* s = acquire_state(state);
    Host_state* hs = row.parameter_count ? s->get_host_state() : nullptr;
    auto const value = [&]<std::size_t... K>(std::index_sequence<K...>) {
      auto const arguments = std::tuple{read_parameter<Index, K>(hs, block)...};
      return std::apply([&](auto const&... a) { return shaders::evaluate<Operation>(s, a...); }, arguments);
    }(std::make_index_sequence<row.parameter_count>{});
    alignas(16) unsigned char buffer[16] = {};
    std::memcpy(buffer, &value, sizeof value);
    if (gathering) floor_gather(s, buffer);
    std::memcpy(result, buffer, gathering ? 16 : slot_size(row.result));
    s->release();
    return 1;
  };
  if constexpr (row.entry == catalogue::Entry::overrides_normal) {
    Floor_normal normal(state, block);
    return compute();
  } else {
    return compute();
  }
}

}  // namespace kvx::bench
