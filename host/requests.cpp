// SPDX-License-Identifier: Apache-2.0
#include <host/requests.h>

#include <cstring>

#include <bridge/interface/host_state.h>

namespace kvx::host {

Output_requests& Output_requests::named(char const* name, std::uint32_t type_code, void* destination) {
  std::array<unsigned char, 16> entry{};
  bridge::record_field::write(entry.data(), bridge::record_field::request_kind, std::uint32_t{1});
  bridge::record_field::write(entry.data(), bridge::record_field::request_name, name);
  entries_.push_back(entry);
  type_codes_.push_back(type_code);
  destinations_.push_back(destination);
  return *this;
}

Output_requests& Output_requests::by_id(std::uint32_t id, std::uint32_t type_code, void* destination,
                                        std::uint32_t kind) {
  std::array<unsigned char, 16> entry{};
  bridge::record_field::write(entry.data(), bridge::record_field::request_kind, kind);
  bridge::record_field::write(entry.data(), bridge::record_field::request_id, id);
  entries_.push_back(entry);
  type_codes_.push_back(type_code);
  destinations_.push_back(destination);
  return *this;
}

::Output_request_list* Output_requests::list() {
  record_.fill(0);
  bridge::record_field::write(record_.data(), bridge::record_field::request_count,
                              static_cast<std::uint32_t>(entries_.size()));
  set_arrays(entries_.data(), type_codes_.data(), destinations_.data());
  return reinterpret_cast<::Output_request_list*>(record_.data());
}

void Output_requests::set_count(std::uint32_t count) {
  bridge::record_field::write(record_.data(), bridge::record_field::request_count, count);
}

void Output_requests::set_arrays(void const* entries, void const* type_codes, void const* destinations) {
  bridge::record_field::write(record_.data(), bridge::record_field::request_entries, entries);
  bridge::record_field::write(record_.data(), bridge::record_field::request_type_codes, type_codes);
  bridge::record_field::write(record_.data(), bridge::record_field::request_destinations, destinations);
}

}  // namespace kvx::host
