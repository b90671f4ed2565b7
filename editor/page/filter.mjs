// SPDX-License-Identifier: Apache-2.0
// The catalogue's filter, the same in the live editor and in the gallery: a
// shader of the kvx-host/list/2 document matches when every word typed, in
// any case, is in its name, or begins a word of its description or of the
// usual names of its operation elsewhere ("float3 sin" keeps Math_float3_sin
// and Math_float3_asin, "the arc sine", but not the cosines; "mix" finds the
// lerps). The gallery takes it bundled on its own, as kvxFilter.

export function catalogueMatcher(query) {
  const words = query.toLowerCase().split(/\s+/).filter(Boolean);
  return (shader) => {
    const name = shader.name.toLowerCase();
    const described = [shader.description || '', ...(shader.also || [])].join(' ').toLowerCase().split(/\s+/);
    return words.every((word) => name.includes(word) || described.some((w) => w.startsWith(word)));
  };
}
