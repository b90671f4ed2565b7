// SPDX-License-Identifier: Apache-2.0
// What the live editor's server computes, apart from HTTP: a network's text
// shaded over a grid as a picture, one point's exact value, or the error that
// stops the text, each as the JSON the page reads (docs/kvx-host.md, serve).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include <editor/refusal.h>
#include <host/library.h>
#include <network/catalogue_json.h>
#include <network/grid.h>
#include <network/paths.h>

namespace kvx::editor {

struct Shade_request {
  std::string text;                     // the network, as the editor holds it
  std::string source;                   // its name in messages: the file's, or "network"
  std::optional<std::string> instance;  // shown in place of the output
  network::Paths paths = network::Paths::batch;
  network::Grid grid;
  unsigned threads = 1;
  // The most the picture's float components may take (width × height ×
  // components × 4 bytes), checked before shading.
  std::size_t max_picture_bytes = std::numeric_limits<std::size_t>::max();
};

// A shaded picture: what it is, {"ok": true, "instance", "shader", "type",
// "channels", "width", "height", "path", "geometry", "mismatches" (how many
// points the two paths give different bits), "instances", "calls",
// "seconds"}; its float components, rows top to bottom; with both paths, a
// byte a point, 1 where they differ; on the sphere, a byte a point, 1 where
// it is. For a text that does not read or check:
// {"ok": false, "error", "line"} and no pixels.
struct Picture {
  network::Json about;
  network::Pixels pixels;
  std::vector<std::uint8_t> differs;
  std::vector<std::uint8_t> covered;  // on the sphere, a byte a point: 1 where it is
  std::shared_ptr<void> memory = nullptr;  // its share of the server's picture memory, held until it is sent
};

// Nothing when the work was abandoned: a stop requested through `stop`, or
// `wanted`, asked every tenth of a second while shading, answering false.
// Throws Refusal for a picture over the request's limit.
std::optional<Picture> shade(host::Library const& library, Shade_request const& request, std::stop_token stop,
                             std::function<bool()> const& wanted = {});

// The shown instance's value at point (x, y) through each path asked:
// {"ok": true, "x", "y", "u", "v", "type", "c": {"value", "bits"}, "cpp": {...}, "same"},
// or the error as for shade.
// Each named instance's result over a grid of the request's aspect, `size`
// points along its longer side, as one picture: {"ok": true, "size",
// "width", "height", "instances": [{"name", "type", "channels"}]} and every
// instance's float components in turn; a point's instances share what they
// depend on. Unknown names are left out.
std::optional<Picture> thumbnails(host::Library const& library, Shade_request const& request,
                                  std::vector<std::string> const& names, unsigned size, std::stop_token stop);

network::Json point(host::Library const& library, Shade_request const& request, unsigned x, unsigned y);

}  // namespace kvx::editor
