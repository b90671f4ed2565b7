// SPDX-License-Identifier: Apache-2.0
// A network shaded a block of points at a time through the batch library:
// planned once, its instances run in order over the block, each one call of
// its batch function, its inputs the constants and the block's results of
// the instances it is connected to. An instance whose inputs do not vary from
// point to point is computed once. One per thread: its memory is a few
// blocks' worth, whatever the number of points.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include <bridge/interface/batch.h>
#include <catalogue/catalogue.h>
#include <host/batch_library.h>
#include <host/reference_host.h>
#include <network/network.h>
#include <network/shading_thread.h>

namespace kvx::network {

// The batch library a program loads once, at its first use: the build's or
// installation's beside the program, or KVX_BATCH_LIBRARY.
host::Batch_library const& batch_library();

// What the host answers for a State_ shader's field, as its batch function
// reads it (an int for the bool fields).
catalogue::Value_bytes state_answer(host::Reference_host const& host, catalogue::Shader const& row);
// The host's texture lookups for the batch functions, a run at a time.
kvx_batch_host batch_host(host::Reference_host const& host);

// The State_ shaders, by catalogue index from the first of them.
inline constexpr unsigned first_state_shader = 367;
inline constexpr unsigned state_shaders = catalogue::shader_count - first_state_shader;
static_assert(catalogue::shaders[first_state_shader].source != catalogue::Source::none &&
              catalogue::shaders[first_state_shader - 1].source == catalogue::Source::none);

// The values of the state fields that vary from point to point, for a block:
// per State_ shader an array of the block's values as its batch function
// reads them, or none where the field is the same at every point (the
// host's answer then).
using Block_state = std::array<kvx_batch_values const*, state_shaders>;

// A Block_state over arrays the caller owns and fills.
class Block_fields {
 public:
  // The named State_ shader's field lies in `values`, a point's value `width` bytes.
  void set(char const* shader, float const* values, unsigned width);
  Block_state const& state() const { return state_; }

 private:
  std::array<kvx_batch_values, state_shaders> arrays_{};
  Block_state state_{};
};

class Batch_shading {
 public:
  // `host` answers the fields that do not vary and the texture lookups, and
  // must outlive this. `varies` says which State_ shaders' fields vary. With
  // `keep_all`, every instance's values stay readable after a block
  // (values()), to be compared; the blocks are smaller for it.
  Batch_shading(Network const& network, Network::Node output, host::Reference_host const& host,
                std::array<bool, state_shaders> const& varies, bool keep_all = false,
                host::Batch_library const& library = batch_library());
  ~Batch_shading();
  Batch_shading(Batch_shading const&) = delete;
  Batch_shading& operator=(Batch_shading const&) = delete;

  // Points one shade() takes at most.
  std::size_t block() const { return block_; }

  // A node's values after shade(): point i's at data + i * stride (a stride
  // of 0: one value for every point). The output's always; any other's with
  // keep_all, else null.
  kvx_batch_values values(Network::Node node) const;

  // Shades `count` (at most block()) points whose varying fields `state`
  // holds; the output's values.
  kvx_batch_values shade(std::size_t count, Block_state const& state);

  // Which State_ shaders' fields shade() reads from its Block_state.
  std::array<bool, state_shaders> const& reads() const { return reads_; }

 private:
  struct Step;
  void run(Step& step, std::size_t count);

  kvx_batch_host host_;
  std::vector<Step> steps_;       // the instances that vary, in the order they run
  std::vector<std::vector<unsigned char>> buffers_;
  std::vector<catalogue::Value_bytes> held_;  // the values of what does not vary, by node
  std::vector<kvx_batch_values> values_;      // by node, where it lies
  Network::Node output_;
  std::size_t block_ = 0;
  std::array<bool, state_shaders> reads_{};
};

// With Paths::all: a point through the C entries and the shader objects of a
// thread whose host holds the point's state, every instance of `order`
// (the output last) compared with the batch's value at point i of its block;
// the first instance that differs recorded as at (x, y).
void compare_instances(Shading_thread& thread, Batch_shading const& batch, std::vector<Network::Node> const& order,
                       std::size_t i, unsigned x, unsigned y, Mismatches& mismatches);

}  // namespace kvx::network
