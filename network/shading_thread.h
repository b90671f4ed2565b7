// SPDX-License-Identifier: Apache-2.0
// One thread's share of shading a network: its own host and its own copy of
// the network, so that nothing mutable is shared and nothing is locked while
// shading. What `render`, `shade`, `gallery` and the Python module shade with.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include <host/reference_host.h>
#include <network/network.h>
#include <network/paths.h>

namespace kvx::network {

// Where the two interfaces differed: the first point in row-major order, how
// many points, and, given a mask of a grid's points, every one of them.
// Shared by the threads, locked only where they differ.
class Mismatches {
 public:
  Mismatches() = default;
  // Sets mask[y * width + x] to 1 for each point (x, y) that differs.
  Mismatches(std::uint8_t* mask, unsigned width) : mask_(mask), width_(width) {}

  void record(Mismatch const& mismatch);
  std::optional<Mismatch> const& first() const { return first_; }
  std::uint64_t count() const { return count_; }

 private:
  std::mutex lock_;
  std::optional<Mismatch> first_;
  std::uint64_t count_ = 0;
  std::uint8_t* mask_ = nullptr;
  unsigned width_ = 0;
};

class Shading_thread {
 public:
  // Adds its shader calls to `shader_calls` when it ends.
  Shading_thread(Network const& network, std::atomic<std::uint64_t>& shader_calls)
      : network_(network), shader_calls_(shader_calls) {}
  ~Shading_thread() { shader_calls_ += network_.shader_calls(); }
  Shading_thread(Shading_thread const&) = delete;
  Shading_thread& operator=(Shading_thread const&) = delete;

  host::Reference_host& host() { return host_; }
  Network& network() { return network_; }

  // The node's result at point (x, y), which the host's state describes:
  // through one interface, or through both (the C entries' value returned,
  // a difference recorded in `mismatches`).
  catalogue::Value_bytes const& shade(Network::Node node, Paths paths, Mismatches& mismatches, unsigned x, unsigned y) {
    network_.next_point();
    if (paths != Paths::both) return network_.evaluate(node, host_, paths);
    return shade_both(node, mismatches, x, y);
  }

 private:
  catalogue::Value_bytes const& shade_both(Network::Node node, Mismatches& mismatches, unsigned x, unsigned y);

  host::Reference_host host_;
  Network network_;
  catalogue::Value_bytes c_value_{};
  std::atomic<std::uint64_t>& shader_calls_;
};

}  // namespace kvx::network
