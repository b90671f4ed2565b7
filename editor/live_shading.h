// What the live editor's server computes, apart from HTTP: a network's text
// shaded over a grid as a picture, one point's exact value, or the error that
// stops the text, each as the JSON the page reads (docs/kvx-host.md, serve).
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include <host/library.h>
#include <network/catalogue_json.h>
#include <network/grid.h>
#include <network/paths.h>

namespace kvx::editor {

struct Shade_request {
  std::string text;                     // the network, as the editor holds it
  std::string source;                   // its name in messages: the file's, or "network"
  std::optional<std::string> instance;  // shown in place of the output
  host::Paths paths = host::Paths::c;
  host::Grid grid;
  unsigned threads = 1;
};

// A shaded picture: what it is, {"ok": true, "instance", "shader", "type",
// "channels", "width", "height", "path", "mismatches" ([[x, y], ...] where
// the two paths differ), "instances", "calls", "seconds"}, and its float
// components, rows top to bottom. For a text that does not read or check:
// {"ok": false, "error", "line"} and no pixels.
struct Picture {
  host::Json about;
  std::vector<float> pixels;
};

// Nothing when a stop requested through `stop` abandoned the work.
std::optional<Picture> shade(host::Library const& library, Shade_request const& request, std::stop_token stop);

// The shown instance's value at point (x, y) through each path asked:
// {"ok": true, "x", "y", "u", "v", "type", "c": {"value", "bits"}, "cpp": {...}, "same"},
// or the error as for shade.
host::Json point(host::Library const& library, Shade_request const& request, unsigned x, unsigned y);

}  // namespace kvx::editor
