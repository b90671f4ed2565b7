// SPDX-License-Identifier: Apache-2.0
// The gallery page: filters as one types (index.html?filter=TEXT starts
// filtered), with the catalogue's filter (filter.js, as kvxFilter), and
// reports on the page how many pictures decoded.
'use strict';

const entries = [...document.querySelectorAll('.shader')];
// Each entry carries its shader's JSON: what the filter searches.
const searched = new Map(entries.map((entry) => {
  const about = entry.querySelector('script[type="application/json"]');
  return [entry, about ? JSON.parse(about.textContent) : { name: entry.id }];
}));
const search = document.getElementById('search');
function filter() {
  const matches = kvxFilter.catalogueMatcher(search.value);
  for (const entry of entries) entry.hidden = !matches(searched.get(entry));
  for (const family of document.querySelectorAll('.family'))
    family.hidden = !family.querySelector('.shader:not([hidden])');
}
search.addEventListener('input', filter);
search.value = new URLSearchParams(location.search).get('filter') || '';
filter();
window.addEventListener('load', () => {
  const images = [...document.querySelectorAll('.shader img')];
  const shown = images.filter((image) => image.complete && image.naturalWidth > 0).length;
  const status = document.getElementById('status');
  status.textContent = `${entries.length} shaders, ${shown} of ${images.length} pictures shown`;
  status.dataset.decoded = shown;
});
