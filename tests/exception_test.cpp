// SPDX-License-Identifier: Apache-2.0
// A host call that throws: the exception reaches the caller, and the C entry
// has released exactly what it acquired and restored what it changed.
#include <string>
#include <string_view>

#include <host/requests.h>

#include "support.h"

namespace kvx::test {
namespace {

using kvx::test::Call;

struct Scenario {
  std::string_view shader;
  bool gathering;
  int ray_type;
};

struct Staged_call {
  kvx::test::Recording_host host;
  C_block block;
  host::Output_requests requests;
  catalogue::Value_bytes destinations[5];

  explicit Staged_call(Scenario const& s) {
    host.record().set_tag_offset(block.tag_offset());
    host.record().set_normal({0, 0, 1});
    host.set_gather_flag(s.gathering);
    host.record().set_ray_type(s.ray_type);
    for (auto const& p : row(s.shader).parameters()) {
      block.set(p, floats(1, 2, 3, 4), tag_connected);
      host.connect(block.slot(p), floats(0.5f, 0.25f, 0.125f, 1));
    }
    block.set_tag_at(0, tag_connected);  // the normal override's float3
    requests.named("result", 5, &destinations[0]).by_id(2, 4, &destinations[1]).by_id(3, 2, &destinations[2]);
    requests.by_id(4, 3, &destinations[3]).by_id(5, 5, &destinations[4]);  // every State getter
    host.set_output_requests(requests.list());
  }
};

// Every shader in plain mode, in gathering mode with requests, and in
// gathering mode on a shadow ray: each host call of the call in turn throws.
TEST(Exceptions, EachHostCallInTurnThrowsAndNothingIsLeftHeld) {
  for (auto const& r : catalogue::shaders)
    for (Scenario const s : {Scenario{r.name, false, 0}, Scenario{r.name, true, 1}, Scenario{r.name, true, 4}}) {
      std::size_t calls;
      {
        Staged_call clean(s);
        call_c(s.shader, clean.host, clean.block);
        calls = clean.host.calls().size();
      }
      for (std::size_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE(std::string(s.shader) +
                     (s.gathering ? ", gathering, ray type " + std::to_string(s.ray_type) : "") + ", host call " +
                     std::to_string(n));
        Staged_call setup(s);
        setup.host.fail_at(static_cast<int>(n));
        EXPECT_THROW(call_c(s.shader, setup.host, setup.block), kvx::test::Host_failure);
        auto const& made = setup.host.calls();
        ASSERT_GE(made.size(), n);
        Call const failed = made[n - 1].call;
        for (std::size_t after = n; after < made.size(); ++after)
          EXPECT_TRUE(made[after].call == Call::interface_release || made[after].call == Call::state_release)
              << "only releases follow the failure, not " << kvx::test::name(made[after].call);
        bool const got_interface = setup.host.count(Call::get_interface) == 1 && failed != Call::get_interface;
        bool const got_state = setup.host.count(Call::get_state) == 1 && failed != Call::get_state;
        EXPECT_EQ(setup.host.count(Call::interface_release), got_interface ? 1u : 0u);
        EXPECT_EQ(setup.host.count(Call::state_release), got_state ? 1u : 0u);
        auto normal = setup.host.record().normal();
        EXPECT_EQ(normal.x, 0.0f);
        EXPECT_EQ(normal.z, 1.0f) << "normal restored";
      }
    }
}

}  // namespace
}  // namespace kvx::test
