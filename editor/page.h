// SPDX-License-Identifier: Apache-2.0
// The live editor's page: plain files of editor/page/, built into kvx-host
// (editor/CMakeLists.txt), so that nothing is fetched at run time.
#pragma once

#include <span>
#include <string_view>

namespace kvx::editor {

struct Page_file {
  std::string_view path;  // as the browser asks for it: "/", "/editor.js", ...
  std::string_view type;  // its Content-Type
  std::string_view body;
  std::string_view gzip;  // the body compressed by the build
  std::string_view etag;  // a quoted hash of the body
};

std::span<Page_file const> page_files();

}  // namespace kvx::editor
