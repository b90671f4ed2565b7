// SPDX-License-Identifier: Apache-2.0
// The catalogue's filter, the same in the live editor and in the gallery: a
// shader's name matches when it holds every word typed, in any case
// ("float3 sin" keeps Math_float3_sin and Math_float3_asin).
'use strict';

function catalogueMatcher(query) {
  const words = query.toLowerCase().split(/\s+/).filter(Boolean);
  return (name) => {
    const lowered = name.toLowerCase();
    return words.every((word) => lowered.includes(word));
  };
}
