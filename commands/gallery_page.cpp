// SPDX-License-Identifier: Apache-2.0
#include "gallery_page.h"

#include <editor/page.h>
#include <network/catalogue_json.h>
#include <network/descriptions.h>
#include <network/values.h>

#include "families.h"

namespace kvx::commands {

// Made from commands/gallery/ by the build (commands/CMakeLists.txt).
std::span<editor::Page_file const> gallery_files();

namespace {

std::string escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// The page's parts, files of commands/gallery/ and the catalogue's filter
// that the live editor's page shares, built in and written into the page.
std::string_view page_part(std::span<editor::Page_file const> files, std::string_view path) {
  for (auto const& file : files)
    if (file.path == path) return file.body;
  return {};
}

std::string parameter_rows(catalogue::Shader const& s) {
  if (!s.parameter_count) return "<tr><td colspan=\"4\">no parameters</td></tr>";
  std::string rows = "<tr><th>parameter</th><th>type</th><th>default</th><th>offset</th></tr>";
  for (auto const& p : s.parameters())
    rows += "<tr><td><code>" + escaped(p.name) + "</code></td><td>" + std::string(name(p.type)) + "</td><td>" +
            (p.has_default ? escaped(network::format_value(p.type, p.default_value)) : "none") + "</td><td>" +
            std::to_string(p.offset) + "</td></tr>";
  return rows;
}

std::string entry_html(Gallery_entry const& e) {
  auto const& s = *e.shader;
  std::string const name(s.name);
  std::string html = "<article class=\"shader\" id=\"" + name + "\">\n";
  html += "<h3><span class=\"index\">" + std::to_string(s.index) + "</span> " + name + "</h3>\n";
  html += "<div>operation <code>" + escaped(s.operation) + "</code> → result <code>" +
          std::string(kvx::catalogue::name(s.result)) + "</code></div>\n";
  html += "<p class=\"description\">" + escaped(network::description(s)) + "</p>\n";
  html += "<table>" + parameter_rows(s) + "</table>\n";
  html += "<figure><img src=\"" + escaped(e.image) + "\" alt=\"" + name + "\"><figcaption>" + escaped(e.rule) +
          ". <a href=\"" + escaped(e.data) + "\">exact values</a></figcaption></figure>\n";
  html += e.difference ? "<div class=\"differ\">" + escaped(*e.difference) + "</div>\n"
                       : "<div class=\"agree\">✓ both paths agree on every sample</div>\n";
  html += "<script type=\"application/json\">" + network::shader_json(s).dump() + "</script>\n";
  return html + "</article>\n";
}

}  // namespace

std::string gallery_page(std::span<Gallery_entry const> entries, std::string const& made_by) {
  std::size_t agreeing = 0;
  for (auto const& e : entries) agreeing += !e.difference;
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>kvx base shaders: the catalogue</title>\n<style>" +
      std::string(page_part(gallery_files(), "/gallery.css")) + "</style>\n</head>\n<body>\n<header>\n<h1>kvx base shaders: " +
      std::to_string(entries.size()) + " shaders, " + std::to_string(agreeing) +
      " agree on both paths</h1>\n<input id=\"search\" type=\"search\" placeholder=\"Filter by name\" "
      "autocomplete=\"off\"><span id=\"status\"></span>\n</header>\n<main>\n<p>" +
      escaped(made_by) + "</p>\n";
  // Runs of one family, in factory order: a family whose rows are apart in
  // the table has a section for each run.
  for (std::size_t first = 0; first < entries.size();) {
    Family const family = families[entries[first].shader->index];
    std::size_t last = first;
    while (last + 1 < entries.size() && families[entries[last + 1].shader->index] == family) ++last;
    html += "<section class=\"family\"><h2>" + std::string(title(family)) + " <small>" +
            std::to_string(entries[first].shader->index) + "–" + std::to_string(entries[last].shader->index) +
            "</small></h2><div>\n";
    for (std::size_t k = first; k <= last; ++k) html += entry_html(entries[k]);
    html += "</div></section>\n";
    first = last + 1;
  }
  return html + "</main>\n<script>" + std::string(page_part(editor::page_files(), "/filter.js")) +
         std::string(page_part(gallery_files(), "/gallery.js")) + "</script>\n</body>\n</html>\n";
}

}  // namespace kvx::commands
