// SPDX-License-Identifier: Apache-2.0
// The network's text as the page reads it, once for every part of the page
// that asks of the same text: its instances (the shader, the line, the
// constants and their lines), its connections with their lines, its output.
// The server checks the text; this reading is lenient: a line it cannot read
// is passed over.

let last = { text: null, network: null };

export function readNetwork(text) {
  if (text === last.text) return last.network;
  const nodes = new Map();
  const edges = [];
  let output = null;
  let outputLine = null;
  text.split('\n').forEach((raw, index) => {
    const line = index + 1;
    const words = raw.replace(/#.*/, '').trim().split(/\s+/).filter(Boolean);
    if (words[0] === 'shader' && words.length === 3 && !nodes.has(words[2]))
      nodes.set(words[2], { name: words[2], shader: words[1], line, constants: new Map(), constantLines: new Map() });
    else if (words[0] === 'param' && words.length >= 3) {
      const [instance, parameter] = words[1].split('.');
      nodes.get(instance)?.constants.set(parameter, words.slice(2).join(' '));
      nodes.get(instance)?.constantLines.set(parameter, line);
    } else if ((words[0] === 'connect' || words[0] === 'splat') && words.length === 3) {
      const [from] = words[1].split('.');
      const [to, parameter] = words[2].split('.');
      edges.push({ from, to, parameter, line, splat: words[0] === 'splat' });
    } else if (words[0] === 'output' && words.length === 2) {
      output = words[1];
      outputLine = line;
    }
  });
  const network = { nodes, edges: edges.filter((e) => nodes.has(e.from) && nodes.has(e.to)), output, outputLine };
  last = { text, network };
  return network;
}
