// SPDX-License-Identifier: Apache-2.0
// The network drawn as a graph: a node an instance (its name, its shader, its
// constants, its result's thumbnail), a wire a connection, laid out left to
// right by elkjs's layered layout, in a worker. Nodes keep their places
// across edits; new ones are placed by the layout.
import ELK from 'elkjs/lib/elk-api.js';

import { readNetwork } from './network_text.mjs';

// The layout runs in a worker of its own: a large network never stalls the page.
const elk = new ELK({ workerUrl: '/elk-worker.js' });
const width = 176;
const header = 38;
const row = 16;
const thumb = 48;

// What a node's result depends on, as a short id: equal ids, equal results.
// A node's description names its inputs by their ids, not by their text, so
// it stays short however deep the network reuses results; the ids are
// interned for the page's life, so that an id read from one edit's network
// means the same in the next.
const interned = new Map();  // description → id
export function resultKeys(model) {
  const keys = new Map();
  const key = (name, seen) => {
    if (keys.has(name)) return keys.get(name);
    if (seen.has(name)) return `cycle:${name}`;
    seen.add(name);
    const node = model.nodes.get(name);
    const inputs = model.edges.filter((e) => e.to === name).sort((a, b) => (a.parameter < b.parameter ? -1 : 1))
      .map((e) => `${e.parameter}${e.splat ? '~' : '<'}${key(e.from, seen)}`);
    const constants = [...node.constants].sort().map(([p, v]) => `${p}=${v}`);
    const description = `${node.shader}[${constants.join(';')}|${inputs.join(';')}]`;
    if (!interned.has(description)) interned.set(description, `r${interned.size}`);
    const made = interned.get(description);
    keys.set(name, made);
    return made;
  };
  for (const name of model.nodes.keys()) key(name, new Set());
  return keys;
}

function element(tag, className, parent) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  parent?.append(made);
  return made;
}

// parent: the element the graph fills. hooks: catalogue() as the editor's,
// chosen(name) when a node is clicked, connect(from, to, parameter) when a
// wire is drawn, remove(line) when a wire is deleted, viewChanged() when
// other nodes come into view.
export function create(parent, hooks) {
  const view = element('div', 'graph-view', parent);
  view.tabIndex = 0;
  view.setAttribute('aria-label',
    'the network as a graph: drag the background to pan and a node to move it, wheel to zoom, Delete removes a chosen wire');
  const stage = element('div', 'graph-stage', view);
  const notice = element('p', 'graph-notice', view);  // why no graph is drawn
  notice.hidden = true;
  const wires = document.createElementNS('http://www.w3.org/2000/svg', 'svg');
  wires.classList.add('graph-wires');
  stage.append(wires);
  const places = new Map();  // name → {x, y}, kept across edits
  const shown = new Map();   // name → the node's element
  let model = { nodes: new Map(), edges: [], output: null };
  let pan = { x: 20, y: 20, scale: 1 };
  let chosenWire = null;
  let selected = null;
  let drawing = null;        // a wire being drawn from a result
  let moving = null;         // a node being dragged to a new place
  let moved = false;         // the last press on a node moved it: no choice
  let laying = 0;

  const place = () => { stage.style.transform = `translate(${pan.x}px, ${pan.y}px) scale(${pan.scale})`; };
  place();
  const height = (node) => header + row * Math.max(1, parameters(node).length) + thumb + 10;
  const parameters = (node) => hooks.catalogue().byName.get(node.shader)?.parameters ?? [];

  function drawNode(node) {
    let box = shown.get(node.name);
    if (!box) {
      box = element('div', 'graph-node', stage);
      box.tabIndex = 0;
      box.dataset.name = node.name;
      // Choosing a node shows its result; the text is left as it is, and
      // the keyboard stays with the graph.
      box.addEventListener('click', () => { if (!moved) hooks.chosen(node.name); });
      // Dragged by its body, a node moves and keeps its place.
      box.addEventListener('mousedown', (event) => {
        if (event.button !== 0 || event.target.closest('.graph-port')) return;
        event.stopPropagation();
        const at = places.get(node.name);
        moving = { name: node.name, x: event.clientX, y: event.clientY, from: { ...at } };
        moved = false;
      });
      box.addEventListener('keydown', (event) => {
        if (event.key !== 'Enter') return;
        event.preventDefault();
        hooks.chosen(node.name);
      });
      shown.set(node.name, box);
    }
    // A node whose content is unchanged is only moved: its thumbnail stays.
    const signature = JSON.stringify([node.shader, [...node.constants], node.name === model.output]);
    const at = places.get(node.name);
    box.style.left = `${at.x}px`;
    box.style.top = `${at.y}px`;
    box.classList.toggle('selected', node.name === selected);
    if (box.dataset.signature === signature) return;
    box.dataset.signature = signature;
    box.replaceChildren();
    box.classList.toggle('output', node.name === model.output);
    box.setAttribute('aria-label', `${node.name}, ${node.shader}${node.name === model.output ? ', the output' : ''}`);
    element('div', 'graph-name', box).textContent = node.name;
    element('div', 'graph-shader', box).textContent = node.shader;
    const shader = hooks.catalogue().byName.get(node.shader);
    for (const parameter of parameters(node)) {
      const line = element('div', 'graph-parameter', box);
      line.dataset.parameter = parameter.name;
      const port = element('span', 'graph-port', line);
      port.dataset.node = node.name;
      port.dataset.parameter = parameter.name;
      const constant = node.constants.get(parameter.name);
      element('span', '', line).textContent = constant === undefined ? parameter.name : `${parameter.name} ${constant}`;
    }
    const out = element('span', 'graph-port graph-result', box);
    out.title = `${node.name}.result (${shader?.result ?? '?'}): drag to a parameter to connect`;
    out.addEventListener('mousedown', (event) => {
      event.stopPropagation();
      event.preventDefault();
      drawing = { from: node.name };
    });
    const canvas = element('canvas', 'graph-thumbnail', box);
    canvas.width = canvas.height = 1;
    box.style.height = `${height(node)}px`;
  }

  // The point where a wire meets a node: its result on the right, a parameter on the left.
  function anchor(name, parameter) {
    const at = places.get(name);
    const node = model.nodes.get(name);
    if (!parameter) return { x: at.x + width, y: at.y + header / 2 };
    const index = Math.max(0, parameters(node).findIndex((p) => p.name === parameter));
    return { x: at.x, y: at.y + header + row * index + row / 2 };
  }

  function drawWires() {
    wires.replaceChildren();
    let right = 0, bottom = 0;
    for (const at of places.values()) { right = Math.max(right, at.x + width + 40); bottom = Math.max(bottom, at.y + 400); }
    wires.setAttribute('width', String(right));
    wires.setAttribute('height', String(bottom));
    for (const edge of model.edges) {
      const a = anchor(edge.from), b = anchor(edge.to, edge.parameter);
      const path = document.createElementNS('http://www.w3.org/2000/svg', 'path');
      const bend = Math.max(30, (b.x - a.x) / 2);
      path.setAttribute('d', `M${a.x},${a.y} C${a.x + bend},${a.y} ${b.x - bend},${b.y} ${b.x},${b.y}`);
      path.classList.add('graph-wire');
      if (edge.splat) path.classList.add('splat');
      if (chosenWire === edge.line) path.classList.add('chosen');
      path.dataset.line = String(edge.line);
      path.tabIndex = 0;
      path.setAttribute('aria-label', `wire from ${edge.from} to ${edge.to}.${edge.parameter}: Delete removes it`);
      // Chosen as the button goes down, before the background would take
      // the press for a pan; by keyboard, as it takes focus.
      const choose = (event) => {
        event.stopPropagation();
        if (chosenWire === edge.line) return;
        chosenWire = edge.line;
        for (const other of wires.querySelectorAll('.graph-wire')) other.classList.toggle('chosen', other === path);
      };
      path.addEventListener('mousedown', (event) => { choose(event); view.focus(); });
      path.addEventListener('focus', choose);
      wires.append(path);
    }
  }

  // New nodes are laid out with the rest in place; the first time, all.
  // In place of the graph: the reason there is none.
  function explain(text) {
    notice.textContent = text;
    notice.hidden = false;
    stage.hidden = true;
  }

  async function update(text) {
    notice.hidden = true;
    stage.hidden = false;
    model = readNetwork(text);
    for (const name of [...shown.keys()])
      if (!model.nodes.has(name)) { shown.get(name).remove(); shown.delete(name); places.delete(name); }
    const fresh = [...model.nodes.keys()].filter((name) => !places.has(name));
    if (fresh.length) {
      const turn = ++laying;
      const graph = {
        id: 'root',
        layoutOptions: { 'elk.algorithm': 'layered', 'elk.direction': 'RIGHT', 'elk.spacing.nodeNode': '24',
          'elk.layered.spacing.nodeNodeBetweenLayers': '48' },
        children: [...model.nodes.values()].map((node) => ({ id: node.name, width, height: height(node) })),
        edges: model.edges.map((e, i) => ({ id: `e${i}`, sources: [e.from], targets: [e.to] })),
      };
      const laid = await elk.layout(graph);
      if (turn !== laying) return;
      // Mostly a new network (the first, or a file loaded): the view fits it.
      const refit = fresh.length > model.nodes.size / 2;
      // A new node goes where the layout puts it, moved down past any node
      // that kept its place there.
      const overlaps = (x, y, h) => [...places].some(([name, at]) => Math.abs(at.x - x) < width + 8 &&
        y < at.y + height(model.nodes.get(name) ?? { shader: '' }) + 8 && at.y < y + h + 8);
      for (const child of laid.children) {
        if (places.has(child.id)) continue;
        let y = child.y;
        for (let tries = 0; tries < 1000 && overlaps(child.x, y, child.height); ++tries) y += 24;
        places.set(child.id, { x: child.x, y });
      }
      if (refit) {  // the whole graph in view, if it fits at a readable size
        const bounds = view.getBoundingClientRect();
        // Never so small that the nodes' text is hard to read: a larger graph is panned.
        const scale = Math.max(0.8, Math.min(1, (bounds.width - 40) / (laid.width || 1), (bounds.height - 40) / (laid.height || 1)));
        pan = { x: 20, y: 20, scale };
        place();
      }
    }
    for (const node of model.nodes.values()) drawNode(node);
    drawWires();
    hooks.viewChanged();
  }

  // The names of the nodes in view, at most `most`.
  function inView(most) {
    const bounds = view.getBoundingClientRect();
    const names = [];
    for (const [name, box] of shown) {
      const r = box.getBoundingClientRect();
      if (r.right >= bounds.left && r.left <= bounds.right && r.bottom >= bounds.top && r.top <= bounds.bottom)
        names.push(name);
      if (names.length === most) break;
    }
    return names;
  }

  function thumbnail(name, image) {
    const canvas = shown.get(name)?.querySelector('.graph-thumbnail');
    if (!canvas) return;
    canvas.width = image.width;
    canvas.height = image.height;
    canvas.getContext('2d').putImageData(image, 0, 0);
    canvas.dataset.drawn = 'true';
  }

  function select(name) {
    selected = name;
    for (const [n, box] of shown) box.classList.toggle('selected', n === name);
  }

  // Pan by dragging the background, zoom with the wheel; a wire drawn from a
  // result ends on a parameter's port.
  let dragging = null;
  view.addEventListener('mousedown', (event) => {
    if (event.target.closest('.graph-node') || event.target.closest('.graph-wire')) return;
    dragging = { x: event.clientX - pan.x, y: event.clientY - pan.y };
    chosenWire = null;
    drawWires();
  });
  window.addEventListener('mousemove', (event) => {
    if (moving) {
      const dx = (event.clientX - moving.x) / pan.scale, dy = (event.clientY - moving.y) / pan.scale;
      if (!moved && Math.hypot(dx, dy) < 3) return;
      moved = true;
      const at = { x: moving.from.x + dx, y: moving.from.y + dy };
      places.set(moving.name, at);
      const box = shown.get(moving.name);
      box.style.left = `${at.x}px`;
      box.style.top = `${at.y}px`;
      drawWires();
      return;
    }
    if (!dragging) return;
    pan = { ...pan, x: event.clientX - dragging.x, y: event.clientY - dragging.y };
    place();
  });
  window.addEventListener('mouseup', (event) => {
    if (moving) { moving = null; hooks.viewChanged(); }
    if (dragging) { dragging = null; hooks.viewChanged(); }
    if (!drawing) return;
    // A parameter's whole row takes the wire, not its port alone.
    const parameter = event.target.closest?.('.graph-parameter');
    const node = parameter?.closest('.graph-node');
    if (parameter && node) hooks.connect(drawing.from, node.dataset.name, parameter.dataset.parameter);
    drawing = null;
  });
  view.addEventListener('wheel', (event) => {
    event.preventDefault();
    const bounds = view.getBoundingClientRect();
    const scale = Math.min(2.5, Math.max(0.1, pan.scale * (event.deltaY < 0 ? 1.1 : 1 / 1.1)));
    const mx = event.clientX - bounds.left, my = event.clientY - bounds.top;
    pan = { scale, x: mx - ((mx - pan.x) * scale) / pan.scale, y: my - ((my - pan.y) * scale) / pan.scale };
    place();
    hooks.viewChanged();
  }, { passive: false });
  view.addEventListener('keydown', (event) => {
    if ((event.key === 'Delete' || event.key === 'Backspace') && chosenWire !== null) {
      event.preventDefault();
      const line = chosenWire;
      chosenWire = null;
      hooks.remove(line);
    }
  });

  return { update, explain, inView, thumbnail, select, model: () => model };
}
