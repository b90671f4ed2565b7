// SPDX-License-Identifier: Apache-2.0
// A host's list of requested outputs, laid out at the offsets the library
// reads: count, then the arrays of requests, type codes and destinations, then
// the done byte.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <bridge/interface/interface.h>

namespace kvx::host {

class Output_requests {
 public:
  // Request the output `name` (kind 1) with a type code.
  Output_requests& named(char const* name, std::uint32_t type_code, void* destination);
  // Request a state value by id; `kind` is anything but 1.
  Output_requests& by_id(std::uint32_t id, std::uint32_t type_code, void* destination, std::uint32_t kind = 0);

  // The list as the host hands it out; rebuilt by every call.
  ::Output_request_list* list();
  // Overrides the count the list reports (after list()).
  void set_count(std::uint32_t count);
  void set_arrays(void const* entries, void const* type_codes, void const* destinations);
  bool done() const { return record_[32] != 0; }
  std::uint8_t done_byte() const { return record_[32]; }

 private:
  std::vector<std::array<unsigned char, 16>> entries_;
  std::vector<std::uint32_t> type_codes_;
  std::vector<void*> destinations_;
  alignas(8) std::array<unsigned char, 40> record_{};
};

}  // namespace kvx::host
