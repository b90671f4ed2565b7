// SPDX-License-Identifier: Apache-2.0
// A shader of the catalogue (the kvx-host/list/2 document) as the page
// writes it: its parameters with their defaults, and its signature.

// " = 0, 0, 1" for a declared default, nothing where there is none.
export function formatDefault(value) {
  if (value === null || value === undefined) return '';
  return ` = ${Array.isArray(value) ? value.join(', ') : value}`;
}

// "(left float = 0; right float = 0) → float"
export function signature(shader) {
  const parameters = shader.parameters.map((p) => `${p.name} ${p.type}${formatDefault(p.default)}`);
  return `(${parameters.join('; ')}) → ${shader.result}`;
}
