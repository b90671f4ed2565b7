// kvx-host: the reference host as a command-line tool. It loads the plug-in
// library with dlopen, exactly as a renderer would, and drives it only through
// its exported interface.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include <host/host.h>
#include <host/library.h>

#include "commands.h"

namespace kvx::tool {

int usage_error(std::string_view message) {
  std::fprintf(stderr, "kvx-host: %.*s\n", int(message.size()), message.data());
  return 2;
}

std::optional<unsigned> parse_count(std::string const& text, unsigned high) {
  char* end = nullptr;
  unsigned long const n = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || *end || n == 0 || n > high)
    return std::nullopt;
  return static_cast<unsigned>(n);
}

}  // namespace kvx::tool

namespace {

constexpr char usage[] =
    "usage: kvx-host COMMAND ...\n"
    "  list [--json]                     every shader in the library, in factory order\n"
    "  describe SHADER                   one shader's interface in full\n"
    "  eval SHADER [name=value ...] [--path c|cpp|both] [--gather] [--ray-type N]\n"
    "       [--state id=value] [--render id=value] [--camera id=value]\n"
    "                                    evaluate one shader and print the result and its bits\n"
    "  render [-o demo.png] [--size WxH] [--path c|cpp] [--threads N]\n"
    "                                    render the demo scene through the library's shaders\n"
    "  shade [NETWORK] [--shader NAME INSTANCE] [--param I.P VALUE] [--connect I.result I.P]\n"
    "        [--splat I.result I.P] [--output I] [-g W H] [-o FILE.exr|FILE.png]...\n"
    "        [--path c|cpp|both] [--threads N]\n"
    "                                    shade a network of the library's shaders over a grid\n"
    "  gallery -o DIR [-g W H] [--threads N]\n"
    "                                    a page with every shader's interface and picture\n"
    "The library is the one built beside kvx-host, or KVX_LIBRARY if set.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace kvx::tool;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(usage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  std::string_view const command = argv[1];
  Arguments const arguments(argv + 2, static_cast<std::size_t>(argc - 2));
  int (*run)(kvx::host::Library&, Arguments) = command == "list"       ? list
                                                : command == "describe" ? describe
                                                : command == "eval"     ? eval
                                                : command == "render"   ? render
                                                : command == "shade"    ? shade
                                                : command == "gallery"  ? gallery
                                                                        : nullptr;
  if (!run) return usage_error("unknown command '" + std::string(command) + "' (try --help)");
  try {
    kvx::host::Library library;
    return run(library, arguments);
  } catch (std::exception const& e) {
    std::fprintf(stderr, "kvx-host: %s\n", e.what());
    return 1;
  }
}
