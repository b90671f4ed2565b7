// SPDX-License-Identifier: Apache-2.0
// Random networks: instances of any shaders from the catalogue, each
// parameter a constant of arbitrary bytes (NaNs, infinities, denormals, any
// truth byte) or a type-correct connection (or splat) from an earlier
// instance, shaded over a small grid through every interface.
//
// Property: the C entries, the shader objects and the batches give the same
// bits at every instance of every point.
#include <atomic>
#include <vector>

#include <network/batch_shading.h>
#include <network/grid.h>
#include <network/network.h>
#include <network/shading_thread.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  using namespace kvx;
  using namespace kvx::fuzz;
  FuzzedDataProvider in(data, size);
  network::Network network(library());
  std::vector<catalogue::Shader const*> rows;
  unsigned const count = in.ConsumeIntegralInRange<unsigned>(1, 6);
  for (unsigned i = 0; i < count; ++i) {
    auto const& row = catalogue::shaders[in.ConsumeIntegralInRange<unsigned>(0, catalogue::shader_count - 1)];
    auto const node = network.add(row.name);
    for (auto const& p : row.parameters()) {
      // A connection from an earlier instance whose result fits, if one does.
      std::vector<network::Network::Node> sources, splats;
      for (network::Network::Node s = 0; s < node; ++s) {
        if (rows[s]->result == p.type) sources.push_back(s);
        if (rows[s]->result == catalogue::Type::float_ && kind(p.type) == catalogue::Kind::real && !is_scalar(p.type))
          splats.push_back(s);
      }
      unsigned const choice = in.ConsumeIntegralInRange<unsigned>(0, 2);
      if (choice == 1 && !sources.empty()) {
        network.connect(node, p.name, sources[in.ConsumeIntegralInRange<std::size_t>(0, sources.size() - 1)]);
      } else if (choice == 2 && !splats.empty()) {
        network.connect(node, p.name, splats[in.ConsumeIntegralInRange<std::size_t>(0, splats.size() - 1)], true);
      } else {
        catalogue::Value_bytes value{};
        auto const bytes = in.ConsumeBytes<std::uint8_t>(width(p.type));
        if (!bytes.empty()) std::memcpy(value.data(), bytes.data(), bytes.size());
        network.set(node, p.name, value);
      }
    }
    rows.push_back(&row);
  }
  // The grid's points on this thread, as one of shade_grid's threads does.
  auto const output = static_cast<network::Network::Node>(rows.size() - 1);
  network::Grid const grid{3, 2};
  std::atomic<std::uint64_t> calls{0};
  network::Shading_thread thread(network, calls);
  network::Mismatches mismatches;
  network::set_grid_settings(thread.host(), grid);
  network::Batch_shading batch(network, output, thread.host(), network::Grid_block::varies(grid), true);
  network::Grid_block block(grid, grid.width);
  auto const order = network.order(output);
  for (unsigned y = 0; y < grid.height; ++y) {
    batch.shade(grid.width, block.fill(0, y, grid.width));
    for (unsigned x = 0; x < grid.width; ++x) {
      network::set_grid_point(thread.host(), grid, x, y);
      network::compare_instances(thread, batch, order, x, x, y, mismatches);
    }
  }
  KVX_REQUIRE(!mismatches.first());
  return 0;
}
