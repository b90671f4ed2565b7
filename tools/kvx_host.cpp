// kvx-host: the reference host as a command-line tool. Loads the plug-in
// library with dlopen, exactly as a renderer would, and drives it only through
// its exported interface.
//
//   kvx-host list    every shader the factory hands out, in index order, with
//                    its parameters and result type
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include <catalogue/catalogue.h>
#include <host/host.h>
#include <host/library.h>

namespace {

struct Release_plugin {
  void operator()(ZR::PLUG::Plugin* plugin) const { plugin->release(); }
};

constexpr std::string_view plugin_prefix = "softshader_";

std::string describe_parameters(kvx::catalogue::Shader const& row) {
  std::string text;
  for (auto const& p : row.parameters()) {
    if (!text.empty()) text += ", ";
    text += std::string(p.name) + " " + std::string(kvx::name(p.type)) + " @" + std::to_string(p.offset);
  }
  return text;
}

int list(kvx::host::Library& library) {
  unsigned index = 0;
  for (;; ++index) {
    std::unique_ptr<ZR::PLUG::Plugin, Release_plugin> plugin{library.plugin(index)};
    if (!plugin) break;
    std::string_view name = plugin->get_name();
    if (name.starts_with(plugin_prefix)) name.remove_prefix(plugin_prefix.size());
    auto const* row = kvx::catalogue::find(name);
    if (!row) {
      std::printf("%3u  %.*s  (not in this tool's catalogue)\n", index, int(name.size()), name.data());
      continue;
    }
    std::printf("%3u  %-36.*s (%s) -> %.*s\n", index, int(name.size()), name.data(),
                describe_parameters(*row).c_str(), int(kvx::name(row->result).size()),
                kvx::name(row->result).data());
  }
  std::printf("%u shaders in %s\n", index, library.path().c_str());
  return 0;
}

int usage() {
  std::fprintf(stderr, "usage: kvx-host list\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  try {
    kvx::host::Host host;
    kvx::host::Library library;
    if (std::strcmp(argv[1], "list") == 0) return list(library);
    std::fprintf(stderr, "kvx-host: unknown command '%s'\n", argv[1]);
    return usage();
  } catch (std::exception const& e) {
    std::fprintf(stderr, "kvx-host: %s\n", e.what());
    return 1;
  }
}
