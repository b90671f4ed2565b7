// SPDX-License-Identifier: Apache-2.0
// A renderer calls from many threads: shared shader objects and C entries at
// once, and the lifecycles of different shaders in parallel. Every thread has
// its own host state; results match the single-threaded ones.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

namespace kvx::test {
namespace {

constexpr unsigned thread_count = 4;

catalogue::Value_bytes arguments_for(unsigned k) {
  return floats(0.25f * float(k + 1), -1.5f, 3.0f, 0.5f);
}

void set_host(kvx::test::Recording_host& host) {
  host.set_float3(9, {0, 0, 1});
  host.set_float(1, 35.0f);
  host.set_camera_float(1, 50.0f);
  host.set_render_int(13, 480);
}

struct Shared_object {
  catalogue::Shader const* row;
  ZR::SHADER::Shader* object;
  catalogue::Value_bytes expected;
};

TEST(Concurrency, SharedObjectsAndEntriesGiveTheSingleThreadedResults) {
  std::vector<Shared_object> shared;
  for (auto const& r : catalogue::shaders) {
    kvx::test::Block inputs;
    std::vector<catalogue::Value_bytes> arguments;
    for (unsigned k = 0; k < r.parameter_count; ++k) {
      arguments.push_back(arguments_for(k));
      inputs.set(r.parameter_list[k].name, arguments.back());
    }
    auto* plugin = new_plugin(r.name);
    kvx::test::Recording_host host;
    set_host(host);
    shared.push_back({&r, plugin->new_instance(nullptr, &inputs), evaluate_c(r.name, arguments, &host)});
    plugin->release();
  }

  std::atomic<unsigned> mismatches{0};
  auto work = [&](unsigned seed) {
    kvx::test::Recording_host host;  // one host state per thread, as a renderer gives each its own
    set_host(host);
    for (unsigned round = 0; round < 3; ++round)
      for (unsigned i = seed; i < shared.size() + seed; ++i) {
        auto const& s = shared[i % shared.size()];
        kvx::test::Block output;
        output.add_result();
        s.object->main(host.state(), &output);
        if (std::memcmp(output.find("result"), s.expected.data(), width(s.row->result)) != 0) ++mismatches;
        std::vector<catalogue::Value_bytes> arguments;
        for (unsigned k = 0; k < s.row->parameter_count; ++k) arguments.push_back(arguments_for(k));
        catalogue::Value_bytes const c = evaluate_c(s.row->name, arguments, &host);
        if (std::memcmp(c.data(), s.expected.data(), width(s.row->result)) != 0) ++mismatches;
        host.clear_calls();
      }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < thread_count; ++t) threads.emplace_back(work, t * 97);
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, 0u);
  for (auto& s : shared) s.object->release();
}

TEST(Concurrency, LifecyclesOfDifferentShadersRunInParallel) {
  using Init = void(Host_state*, void*, std::int32_t*);
  using Exit = void(Host_state*, void*);
  std::atomic<unsigned> failures{0};
  auto work = [&](unsigned first) {
    kvx::test::Recording_host host;
    C_block block;
    for (unsigned i = first; i < catalogue::shader_count; i += thread_count) {
      std::string const name(catalogue::shaders[i].name);
      auto* init = library().function<Init>((name + "_init").c_str());
      auto* exit = library().function<Exit>((name + "_exit").c_str());
      std::int32_t request = 0;
      init(host.record().get(), nullptr, &request);
      void* records[3];
      for (auto& record : records) {
        init(host.record().get(), block.params(), &request);
        record = host.instance_slot();
      }
      for (auto* record : records) {
        host.instance_slot() = record;
        exit(host.record().get(), block.params());
        if (host.instance_slot() != nullptr) ++failures;
      }
      exit(host.record().get(), nullptr);
      if (request != 1) ++failures;
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < thread_count; ++t) threads.emplace_back(work, t);
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0u);
}

}  // namespace
}  // namespace kvx::test
