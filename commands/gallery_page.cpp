// SPDX-License-Identifier: Apache-2.0
#include "gallery_page.h"

#include <network/catalogue_json.h>
#include <network/values.h>

#include "families.h"

namespace kvx::commands {

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

constexpr char style[] = R"(
body { font: 14px/1.4 system-ui, sans-serif; margin: 0; color: #222; background: #fff; }
header { position: sticky; top: 0; background: #20242c; color: #eee; padding: 10px 20px; z-index: 1; }
header h1 { font-size: 18px; margin: 0 0 6px; }
header input { font: inherit; padding: 4px 8px; width: 280px; }
header span { margin-left: 12px; color: #bcd; }
main { padding: 0 20px 40px; }
h2 { margin: 24px 0 8px; border-bottom: 1px solid #ddd; }
.family > div { display: grid; grid-template-columns: repeat(auto-fill, minmax(340px, 1fr)); gap: 12px; }
.shader { border: 1px solid #ddd; border-radius: 6px; padding: 8px 10px; }
.shader h3 { font: 600 14px ui-monospace, monospace; margin: 0; }
.shader .index { color: #888; font-weight: normal; }
.shader table { border-collapse: collapse; font-size: 12px; margin: 6px 0; }
.shader td, .shader th { padding: 1px 8px 1px 0; text-align: left; }
.shader th { color: #666; font-weight: normal; }
.shader code { font-size: 12px; }
.shader figure { margin: 6px 0 0; }
.shader img { display: block; border: 1px solid #ccc; background: #eee; }
.shader figcaption { font-size: 12px; color: #555; }
.agree { color: #2a7d2a; font-size: 12px; }
.differ { color: #c22; font-size: 12px; font-weight: 600; }
)";

// Filters as one types (index.html?filter=TEXT starts filtered), and reports
// on the page how many pictures decoded.
constexpr char script[] = R"(
const entries = [...document.querySelectorAll('.shader')];
const search = document.getElementById('search');
function filter() {
  const wanted = search.value.trim().toLowerCase();
  for (const entry of entries) entry.hidden = !entry.dataset.name.includes(wanted);
  for (const family of document.querySelectorAll('.family'))
    family.hidden = !family.querySelector('.shader:not([hidden])');
}
search.addEventListener('input', filter);
search.value = new URLSearchParams(location.search).get('filter') || '';
filter();
window.addEventListener('load', () => {
  const images = [...document.querySelectorAll('.shader img')];
  const shown = images.filter(image => image.complete && image.naturalWidth > 0).length;
  const status = document.getElementById('status');
  status.textContent = entries.length + ' shaders, ' + shown + ' of ' + images.length + ' pictures shown';
  status.dataset.decoded = shown;
});
)";

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
  std::string lowered;
  for (char c : name) lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string html = "<article class=\"shader\" id=\"" + name + "\" data-name=\"" + lowered + "\">\n";
  html += "<h3><span class=\"index\">" + std::to_string(s.index) + "</span> " + name + "</h3>\n";
  html += "<div>operation <code>" + escaped(s.operation) + "</code> → result <code>" +
          std::string(kvx::catalogue::name(s.result)) + "</code></div>\n";
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
      std::string(style) + "</style>\n</head>\n<body>\n<header>\n<h1>kvx base shaders: " +
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
  return html + "</main>\n<script>" + script + "</script>\n</body>\n</html>\n";
}

}  // namespace kvx::commands
