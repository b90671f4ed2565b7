// SPDX-License-Identifier: Apache-2.0
// The gallery's page: every shader in factory order, grouped by family, with
// its interface, its picture and the rule that made it; a search box; no
// external resources.
#pragma once

#include <optional>
#include <span>
#include <string>

#include <catalogue/catalogue.h>

namespace kvx::commands {

struct Gallery_entry {
  catalogue::Shader const* shader;
  std::string image;                      // relative to the page
  std::string data;                       // the exact values, relative to the page
  std::string rule;                       // how the inputs were bound
  std::optional<std::string> difference;  // where the two paths differ, if they do
};

std::string gallery_page(std::span<Gallery_entry const> entries, std::string const& made_by);

}  // namespace kvx::commands
