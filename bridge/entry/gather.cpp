// SPDX-License-Identifier: Apache-2.0
// The request walk of output gathering, compiled once for every shader.
#include <bridge/entry/gather.h>

#include <cstring>

#include <bridge/check/check.h>
#include <bridge/interface/host_state.h>

namespace kvx::bridge {
namespace {

// Bytes a named request copies for a type code; 0 for codes without a width.
constexpr unsigned named_request_width(std::uint32_t code) {
  switch (code) {
    case 2: return 4;
    case 3: return 8;
    case 4: return 12;
    case 5: case 12: return 16;
    default: return 0;
  }
}

// Exactly the names whose first seven bytes are "result\0", reading no byte
// past the name's terminating NUL.
bool names_result(char const* name) {
  if (!name) return false;
  constexpr char result[] = "result";
  for (unsigned i = 0; i < sizeof result; ++i) {
    if (name[i] != result[i]) return false;
  }
  return true;
}

// Writes the State's floats for a request by state id; codes other than 2 to 5
// answer nothing and ask nothing.
void answer_by_state_id(ZR::SHADER::State& state, int id, std::uint32_t code, void* destination) {
  switch (code) {
    case 2: { float v = state.get_state_float(id); std::memcpy(destination, &v, sizeof v); break; }
    case 3: { auto v = state.get_state_float2(id); std::memcpy(destination, &v, sizeof v); break; }
    case 4: { auto v = state.get_state_float3(id); std::memcpy(destination, &v, sizeof v); break; }
    case 5: { auto v = state.get_state_float4(id); std::memcpy(destination, &v, sizeof v); break; }
    default: break;
  }
}

}  // namespace

// Requests are answered once each, in index order; the count is read afresh
// after every request. A list with a missing array, or a request without a
// destination, is not written through: nothing the host hands over is trusted
// to point somewhere.
void gather_requests(ZR::SHADER::State* state, void* const* result_value, std::uint8_t const* zeros,
                     unsigned shader) {
  namespace record = record_field;
  using check::Finding;
  auto* list = state->get_output_requests();
  if (!list) return;
  std::uint32_t const count = record::read<std::uint32_t>(list, record::request_count);
  check::expect([&] { return count <= check::sane_request_count; }, shader, Finding::request_count_huge, count);
  for (std::uint32_t i = 0; i < record::read<std::uint32_t>(list, record::request_count); ++i) {
    auto const* entries = record::read<unsigned char const*>(list, record::request_entries);
    auto const* type_codes = record::read<std::uint32_t const*>(list, record::request_type_codes);
    auto* const* destinations = record::read<void* const*>(list, record::request_destinations);
    bool const arrays = entries && type_codes && destinations;
    check::expect([&] { return arrays; }, shader, Finding::request_arrays_null, count);
    if (!arrays) break;
    unsigned char const* entry = entries + i * record::request_size;
    std::uint32_t const code = type_codes[i];
    void* const destination = destinations[i];
    check::expect([&] { return destination != nullptr; }, shader, Finding::request_destination_null, i);
    if (!destination) continue;
    // Request i and its code, for a report that names both.
    auto const request_and_code = [&] { return static_cast<long long>(i) << 32 | code; };
    if (record::read<std::uint32_t>(entry, record::request_kind) == 1) {
      char const* name = record::read<char const*>(entry, record::request_name);
      check::expect([&] { return name != nullptr; }, shader, Finding::request_name_null, i);
      check::expect([&] { return named_request_width(code) != 0; }, shader, Finding::request_code_skipped,
                    request_and_code());
      void const* source = zeros;
      if (names_result(name) && result_value && *result_value) source = *result_value;
      std::memcpy(destination, source, named_request_width(code));
    } else {
      check::expect([&] { return code >= 2 && code <= 5; }, shader, Finding::request_code_skipped,
                    request_and_code());
      int const id = static_cast<int>(record::read<std::uint32_t>(entry, record::request_id));
      answer_by_state_id(*state, id, code, destination);
    }
  }
  record::write(list, record::requests_done, std::uint8_t{1});
}

}  // namespace kvx::bridge
