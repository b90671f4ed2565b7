// SPDX-License-Identifier: Apache-2.0
// The live editor: the network's text in a code editor (code_editor.js),
// shaded by the server (kvx-host serve) as it is typed; the picture, a
// point's exact value under the pointer, the instances to look at, and the
// library's catalogue.
//
// The file on disk is the truth: the page starts from it, takes it again when
// it changes outside and the page has no unsaved edits, and saves only over
// the version its text was read from or last saved as.
//
// The page's one script: esbuild bundles this module with what it imports
// when kvx-host is built.
import { signature } from './catalogue_text.mjs';
import { create as createCodeEditor } from './code_editor.mjs';
import { catalogueMatcher } from './filter.mjs';
import { create as createGraph, resultKeys } from './graph.mjs';
import { readNetwork } from './network_text.mjs';
import { exposeForTests } from './test_hooks.mjs';

const $ = (id) => document.getElementById(id);

// The catalogue as the server lists it, and by name; filled at start.
const catalogue = { shaders: [], byName: new Map() };
const editor = createCodeEditor($('editor'), {
  catalogue: () => catalogue, changed: () => typed(), moved: (line) => caretMoved(line), label: 'network text',
});
const graph = createGraph($('graph'), {
  catalogue: () => catalogue,
  chosen: (name) => nodeChosen(name),
  connect: (from, to, parameter) => wire(from, to, parameter),
  remove: (line) => editor.deleteLine(line),
  viewChanged: () => { clearTimeout(state.thumbnailTimer); state.thumbnailTimer = setTimeout(showThumbnails, 120); },
});
exposeForTests(editor);

// A name for this page, sent with its shading requests: the server abandons
// a request only for a newer one of the same page, never another tab's.
function pageName() {
  const bytes = crypto.getRandomValues(new Uint8Array(12));
  return Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
}

const state = {
  page: pageName(),
  file: null,        // the file Save writes, or null: Save downloads
  base: null,        // the file's version the text was read from or last saved as
  savedText: '',     // the text of that version: any other is unsaved
  readOnly: null,    // why the file cannot be saved over, or null
  disk: null,        // the file's version the choice in #disk is about
  syncing: 0,        // counts loads and saves: a check of the file begun before one is stale
  saving: false,
  checking: false,
  width: 256,
  height: 256,
  shown: null,       // the instance shown in place of the output, or null
  output: null,      // the output instance of the last picture
  sequence: 0,       // of shading requests: only the newest one's answer counts
  controller: null,  // aborts the request a newer one replaces
  hover: null,       // the point under the pointer, {x, y}, read out again with each picture
  hoverSequence: 0,
  timer: 0,
  lastShading: 0,    // ms from request to picture, the last time
  picture: null,     // the last picture: {answer, floats, differs, covered}
  thumbnailTimer: 0,
  thumbnailSequence: 0,  // of thumbnail requests: only the newest one's answer counts
  gridSide: 8192,    // the most points a side, as the server says it
};
const pause = 250;         // ms without typing before a slow text is shaded
const quick = 150;         // a text shaded faster than this is shaded at once
const fileCheck = 1000;    // ms between looks at the file on disk

function setStatus(message) { $('status').textContent = message; }

// A JSON answer, or a picture: the length of the JSON about it (32 bits,
// little-endian), that JSON, its float32 components (`floatsPerPoint` of
// them a point), with both paths where they differ a byte a point, and on
// the sphere a byte a point, 1 where it is.
async function post(route, body, signal, floatsPerPoint = (about) => about.channels) {
  const response = await fetch(route, {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body), signal,
  });
  if (!(response.headers.get('Content-Type') || '').startsWith('application/octet-stream'))
    return { status: response.status, answer: await response.json() };
  const buffer = await response.arrayBuffer();
  const length = new DataView(buffer).getUint32(0, true);
  const answer = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 4, length)));
  const count = answer.width * answer.height;
  const floats = new Float32Array(buffer, 4 + length, count * floatsPerPoint(answer));
  const differsAt = 4 + length + floats.byteLength;
  const differs = answer.mismatches ? new Uint8Array(buffer, differsAt, count) : null;
  const covered = answer.geometry === 'sphere' ? new Uint8Array(buffer, differsAt + (differs ? count : 0), count) : null;
  return { status: response.status, answer, floats, differs, covered };
}

async function getJson(route) {
  return (await fetch(route, { cache: 'no-store' })).json();
}

// ---- The file and unsaved edits

function unsaved() { return editor.text !== state.savedText; }

function showUnsaved() {
  const edits = unsaved();
  document.title = `${edits ? '• ' : ''}${state.file || 'a new network'} – kvx live editor`;
  const save = $('save');
  save.textContent = edits ? 'Save •' : 'Save';
  save.toggleAttribute('data-unsaved', edits);
  save.setAttribute('aria-label', edits ? 'Save: the text has unsaved edits' : 'Save');
}

// The file's text as the server read it, in place of the page's.
function adopt(network) {
  state.file = network.file;
  state.base = network.version;
  state.savedText = network.text;
  state.readOnly = network.read_only || null;
  if (editor.text !== network.text) editor.text = network.text;
  $('file').textContent = !state.file ? 'a new network (Save downloads it)'
    : state.readOnly ? `${state.file} (${state.readOnly}: Save downloads a copy)` : state.file;
  hideDisk();
  showUnsaved();
}

// The choice when the file changed on disk and the page has edits of its own.
function showDisk(version, message) {
  state.disk = version;
  $('disk-message').textContent = message;
  $('disk').hidden = false;
  $('disk-load').focus();
}

function hideDisk() { $('disk').hidden = true; }

// The file's text, taken as it is on disk now; `unless` stops it when the
// text changed while the file was read.
async function loadFile(message, unless = null) {
  const sync = ++state.syncing;
  const typed = editor.text;
  let network;
  try {
    network = await getJson('/api/network');
  } catch (error) {
    setStatus(`the server did not answer: ${error.message}`);
    return;
  }
  if (sync !== state.syncing) return;
  if (network.ok === false) {
    setStatus(`cannot read the file: ${network.error}`);
    return;
  }
  if (unless && editor.text !== typed) {
    unless(network.version);
    return;
  }
  adopt(network);
  setStatus(message);
  shade();
}

// The file changed on disk: taken when the page has no edits, offered when it has.
function fileChanged(about) {
  const told = () => showDisk(about.version, `${about.file} has changed on disk, and this page has unsaved edits.`);
  if (!about.exists) {
    // Deleted: the text stays, unsaved; Save writes it again.
    state.base = about.version;
    state.savedText = '';
    showUnsaved();
    setStatus(`${about.file} was deleted on disk: Save writes the text again`);
  } else if (!unsaved()) {
    loadFile(`${about.file} changed on disk: its new text is loaded`, told);
  } else if (about.version !== state.disk) {
    told();
  }
}

async function checkFile() {
  if (!state.file || state.saving || state.checking) return;
  state.checking = true;
  const sync = state.syncing;
  try {
    const about = await getJson('/api/file');
    if (sync !== state.syncing || state.saving) return;
    if (about.ok === false) setStatus(`cannot read the file: ${about.error}`);
    else if (about.version !== state.base) fileChanged(about);
  } catch {
    // The server is gone or busy: the next look tells.
  } finally {
    state.checking = false;
  }
}

function download() {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([editor.text], { type: 'text/plain' }));
  link.download = state.file || 'network.kvx';
  link.click();
  URL.revokeObjectURL(link.href);
  setStatus(`downloaded ${link.download}`);
}

// Writes the text over the version it was read from, or with `overwrite`,
// over the version on disk the page was told of.
async function save(overwrite = false) {
  if (!state.file || state.readOnly) {
    download();
    state.savedText = editor.text;
    showUnsaved();
    return;
  }
  if (state.saving) return;
  state.saving = true;
  ++state.syncing;
  const sent = editor.text;
  let result;
  try {
    result = await post('/api/save', { text: sent, base: overwrite ? state.disk : state.base });
  } catch (error) {
    setStatus(`not saved: the server did not answer (${error.message})`);
    return;
  } finally {
    state.saving = false;
  }
  const answer = result.answer;
  if (answer.ok) {
    state.base = answer.version;
    state.savedText = sent;
    hideDisk();
    showUnsaved();
    setStatus(`saved ${answer.file}`);
  } else if (answer.conflict) {
    showDisk(answer.version, `Not saved: ${answer.error}.`);
    setStatus('not saved: the file changed on disk');
  } else {
    setStatus(`not saved: ${answer.error}`);
  }
}

// ---- Errors

// The instances the text makes, by name.
function madeInstances() { return new Set(editor.instances().keys()); }

// The server's error: in the editor's gutter and under its line, and in the
// problems list, which goes to the line; the picture marked stale.
function showError({ error: message, line, unknown, suggestions = [] }) {
  editor.showProblem({ line, message });
  const item = document.createElement('li');
  const go = document.createElement('button');
  go.type = 'button';
  go.className = 'problem';
  go.dataset.line = String(line);
  go.textContent = message;  // it names the file and the line
  go.addEventListener('click', () => editor.goToLine(line));
  item.append(go);
  // "did you mean": each name the server offers replaces the unknown one on its line.
  if (unknown)
    for (const name of suggestions) {
      const use = document.createElement('button');
      use.type = 'button';
      use.className = 'suggestion';
      use.dataset.name = name;
      use.textContent = `use ${name}`;
      use.addEventListener('click', () => editor.replaceWord(line, unknown, name));
      item.append(use);
    }
  $('problems').replaceChildren(item);
  $('frame').classList.add('stale');
  $('stale').hidden = false;
}

function clearError() {
  editor.showProblem(null);
  $('problems').replaceChildren();
  $('frame').classList.remove('stale');
  $('stale').hidden = true;
}

// ---- The picture

// The path chosen, read where it is shown: a browser may restore the choice
// when the page is loaded again, or take a click before this script runs.
function chosenPath() { return document.querySelector('input[name=path]:checked').value; }
function chosenGeometry() { return document.querySelector('input[name=geometry]:checked').value; }

function request() {
  return {
    text: editor.text, instance: state.shown, path: chosenPath(), geometry: chosenGeometry(),
    width: state.width, height: state.height,
  };
}

// As kvx-host shade's PNG: each component clamped to [0, 1] (NaN as 0) and
// scaled; one component is gray, two are red and green, four carry alpha.
function byte(value) { return Number.isNaN(value) ? 0 : Math.round(Math.min(Math.max(value, 0), 1) * 255); }

// Off the sphere, nothing: transparent over the checker.
function draw(answer, floats, differs, covered) {
  state.picture = { answer, floats, differs, covered };
  redraw();
}

// The last picture as the views ask: the channels shown (rgb, or one of them
// as gray), an exposure of 2^stops, and in false colour what lies outside
// [0, 1] (blue below, red above, magenta NaN).
function redraw() {
  if (!state.picture) return;
  const { answer, floats, differs, covered } = state.picture;
  const picture = $('picture');
  const overlay = $('overlay');
  picture.width = overlay.width = answer.width;
  picture.height = overlay.height = answer.height;
  // The frame's side is the grid's longer one: the picture keeps its aspect.
  const longer = Math.max(answer.width, answer.height);
  $('stage').style.setProperty('--across', String(answer.width / longer));
  $('stage').style.setProperty('--down', String(answer.height / longer));
  const context = picture.getContext('2d');
  const image = context.createImageData(answer.width, answer.height);
  const n = answer.channels;
  const channel = $('channel').value;
  const scale = 2 ** (Number($('exposure').value) || 0);
  const falseColour = $('false-colour').checked;
  const shown = [0, 0, 0];
  for (let p = 0, i = 0; p < answer.width * answer.height; ++p, i += n) {
    const o = 4 * p;
    const alpha = n === 4 ? floats[i + 3] : 1;
    if (channel === 'rgb') {
      shown[0] = floats[i];
      shown[1] = n === 1 ? floats[i] : floats[i + 1];
      shown[2] = n === 1 ? floats[i] : n === 2 ? 0 : floats[i + 2];
    } else {
      const c = { r: 0, g: 1, b: 2, a: 3 }[channel];
      const value = c === 3 ? alpha : c < n ? floats[i + c] : 0;
      shown[0] = shown[1] = shown[2] = value;
    }
    let outside = null;
    for (let k = 0; k < 3; ++k) {
      const v = channel === 'a' ? shown[k] : shown[k] * scale;
      if (Number.isNaN(v)) outside = [255, 0, 255];
      else if (!outside && v > 1) outside = [255, 40, 40];
      else if (!outside && v < 0) outside = [40, 90, 255];
      image.data[o + k] = byte(v);
    }
    if (falseColour && outside) image.data.set(outside, o);
    image.data[o + 3] = covered && !covered[p] ? 0 : channel === 'rgb' ? byte(alpha) : 255;
  }
  context.putImageData(image, 0, 0);
  // Every point where the two paths' bits differ, in magenta.
  const marks = overlay.getContext('2d');
  const marked = marks.createImageData(answer.width, answer.height);
  if (differs)
    for (let p = 0; p < differs.length; ++p)
      if (differs[p]) marked.data.set([255, 0, 255, 255], 4 * p);
  marks.putImageData(marked, 0, 0);
}

function saveBlob(blob, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.click();
  URL.revokeObjectURL(link.href);
}

// What is shown, a pixel a point; or the exact floats, as kvx-host shade
// writes them, shaded again by the server.
function exportPng() {
  if (!state.picture) return;
  $('picture').toBlob((blob) => saveBlob(blob, `${state.picture.answer.instance}.png`), 'image/png');
}

async function exportExr() {
  const response = await fetch('/api/exr', {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(request()),
  });
  if (response.headers.get('Content-Type') !== 'image/x-exr') {
    const answer = await response.json();
    setStatus(`not exported: ${answer.error}`);
    return;
  }
  const name = /filename="([^"]+)"/.exec(response.headers.get('Content-Disposition') || '')?.[1] || 'picture.exr';
  saveBlob(await response.blob(), name);
  setStatus(`exported ${name}`);
}

function viewsChanged() {
  $('frame').classList.toggle('black', $('backdrop').value === 'black');
  $('stage').style.setProperty('--zoom', $('zoom').value);
  redraw();
}

function gridChanged() {
  const side = (id, now) => Math.min(state.gridSide, Math.max(1, Math.round(Number($(id).value)) || now));
  state.width = side('grid-width', state.width);
  state.height = side('grid-height', state.height);
  shade();
}

function showInstances(answer) {
  const box = $('instances');
  box.replaceChildren();
  const matches = catalogueMatcher($('instance-filter').value);
  for (const made of answer.instances) {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = made.name;
    button.title = `${made.shader} (${made.type}), line ${made.line}`;
    button.dataset.name = made.name;
    button.hidden = !matches({ name: made.name, description: made.shader });
    if (made.name === state.output) button.classList.add('output');
    if (made.name === answer.instance) button.classList.add('shown');
    button.addEventListener('click', () => {
      state.shown = made.name === state.output ? null : made.name;
      shade();
    });
    box.append(button);
  }
}

// A text whose last picture was slow, or a long one, is shaded at an eighth
// of the size first, so that something is on screen at once, then whole;
// Cancel stops the rest.
async function shade() {
  if (state.shown && !madeInstances().has(state.shown)) state.shown = null;
  const sequence = ++state.sequence;
  state.controller?.abort();
  const controller = (state.controller = new AbortController());
  const slow = state.lastShading > quick || editor.view.state.doc.lines > 2000;
  const coarse = slow && Math.min(state.width, state.height) >= 64;
  $('cancel').hidden = false;
  const whole = !coarse ||
    (await shadeAt(sequence, controller, Math.floor(state.width / 8), Math.floor(state.height / 8)));
  if (whole) await shadeAt(sequence, controller, state.width, state.height);
  if (sequence === state.sequence) $('cancel').hidden = true;
}

function cancel() {
  ++state.sequence;
  state.controller?.abort();
  $('cancel').hidden = true;
  document.body.dataset.answered = 'cancelled';
  setStatus('cancelled: the picture shown stays');
}

// One picture of width × height points; whether the next may follow.
async function shadeAt(sequence, controller, width, height) {
  const whole = width === state.width && height === state.height;
  const started = performance.now();
  setStatus(whole ? 'shading…' : `shading ${width}×${height} points first…`);
  document.body.dataset.answered = 'waiting';
  const sent = { ...request(), width, height };
  let result;
  try {
    result = await post('/api/shade', { ...sent, page: state.page }, controller.signal);
  } catch (error) {
    if (error.name === 'AbortError' || sequence !== state.sequence) return false;  // a newer request replaced it
    setStatus(`not shaded: the server did not answer (${error.message})`);
    document.body.dataset.answered = 'failed';
    return false;
  }
  if (sequence !== state.sequence) return false;  // a newer request is under way
  const answer = result.answer;
  // For whoever watches the page (the browser test): the answer is for the
  // text as it stands.
  const current = sent.text === editor.text && sent.instance === state.shown && sent.path === chosenPath() &&
    sent.geometry === chosenGeometry();
  if (!answer.ok || whole) document.body.dataset.answered = current ? 'current' : 'older';
  if (state.hover && (whole || !answer.ok)) readPoint();
  if (!answer.ok) {
    if (answer.line !== undefined) {
      showError(answer);
      setStatus('the text does not shade: the last good picture stays');
    } else {
      setStatus(`not shaded: ${answer.error}`);
    }
    return false;
  }
  if (!state.shown) state.output = answer.instance;
  clearError();
  draw(answer, result.floats, result.differs, result.covered);
  showInstances(answer);
  graph.select(answer.instance);
  if (whole) showThumbnails();
  const elapsed = performance.now() - started;
  if (!whole) {
    document.body.dataset.coarseAt = performance.now().toFixed(1);
    setStatus(`a first picture of ${width}×${height} points in ${elapsed.toFixed(0)} ms; shading ` +
      `${state.width}×${state.height}…`);
    return true;
  }
  state.lastShading = elapsed;
  document.body.dataset.pictures = String(Number(document.body.dataset.pictures || 0) + 1);
  document.body.dataset.elapsed = elapsed.toFixed(1);
  document.body.dataset.drawnAt = performance.now().toFixed(1);
  $('timing').textContent = `${answer.instance} (${answer.shader}, ${answer.type}) at ${answer.width}×${answer.height} ` +
    `points: ${answer.calls} shader calls in ${(answer.seconds * 1000).toFixed(1)} ms; ` +
    `${elapsed.toFixed(1)} ms from request to picture`;
  setStatus(answer.mismatches ? `the paths differ at ${answer.mismatches} points (marked)` : 'shaded');
  return true;
}

// A text that shaded quickly is shaded at once; a slow one after a pause in
// typing, so that the server is not kept busy with texts already gone.
function typed() {
  document.body.dataset.answered = 'typing';
  clearTimeout(state.graphTimer);
  state.graphTimer = setTimeout(drawGraph, 150);
  showUnsaved();
  clearTimeout(state.timer);
  state.timer = setTimeout(shade, state.lastShading && state.lastShading < quick ? 0 : pause);
}

// ---- The graph

const graphLimit = 3000;  // instances drawn; a larger network is text only
const thumbnailSize = 32;
const thumbnails = new Map();  // what a node's result depends on → its picture

function drawGraph() {
  const made = editor.instances().size;
  $('graph').dataset.instances = String(made);
  if (made > graphLimit) {
    graph.explain(`${made} instances: the graph is drawn up to ${graphLimit}; the text and the list of instances hold them all.`);
    return;
  }
  graph.update(editor.text);
}

function nodeChosen(name) {
  state.shown = name === state.output ? null : name;
  graph.select(name);
  const made = editor.instances().get(name);
  if (made) editor.showLine(made.line);
  shade();
}

function caretMoved(line) {
  const network = readNetwork(editor.text);
  for (const [name, node] of network.nodes)
    if (node.line === line || [...node.constantLines.values()].includes(line)) return graph.select(name);
  const edge = network.edges.find((e) => e.line === line);
  graph.select(edge ? edge.to : (network.outputLine === line ? network.output : ''));
}

// A wire from a result to a parameter: `connect`, or `splat` for a float into
// a vector or color; refused as the checker would where the types differ.
function wire(from, to, parameter) {
  const type = (name) => catalogue.byName.get(editor.instances().get(name)?.shader);
  const source = type(from)?.result;
  const target = type(to)?.parameters.find((p) => p.name === parameter)?.type;
  if (!source || !target) return;
  if (from === to) {
    setStatus(`cannot connect ${from}.result to ${to}.${parameter}: an instance cannot take its own result`);
    return;
  }
  const keyword = source === target ? 'connect'
    : source === 'float' && /^(float[234]|color)$/.test(target) ? 'splat' : null;
  if (!keyword) {
    setStatus(`cannot connect ${from}.result (${source}) to ${to}.${parameter} (${target}): the types differ`);
    return;
  }
  // What the parameter took before, a constant or another wire, gives way.
  const model = graph.model();
  const before = model.nodes.get(to)?.constantLines.get(parameter) ??
    model.edges.find((e) => e.to === to && e.parameter === parameter)?.line;
  const line = `${keyword} ${from}.result ${to}.${parameter}`;
  if (before) editor.replaceLine(before, line);
  else editor.appendLine(line);
}

// The thumbnails kept, at most this many: the oldest goes first.
const thumbnailsKept = 512;
function remember(key, image) {
  thumbnails.delete(key);
  thumbnails.set(key, image);
  if (thumbnails.size > thumbnailsKept) thumbnails.delete(thumbnails.keys().next().value);
}

// The nodes in view get their results' pictures, from the cache where what
// they depend on is unchanged, the rest in one request.
async function showThumbnails() {
  const model = graph.model();
  if (!model.nodes.size) return;
  const keys = resultKeys(model);
  const wanted = [];
  for (const name of graph.inView(128)) {
    const cached = thumbnails.get(keys.get(name) + chosenGeometry());
    if (cached) graph.thumbnail(name, cached);
    else wanted.push(name);
  }
  if (!wanted.length) return;
  const sequence = ++state.thumbnailSequence;
  const text = editor.text;
  let result;
  try {
    result = await post('/api/thumbnails',
      { ...request(), text, instances: wanted, size: thumbnailSize, page: `${state.page}:graph` }, undefined,
      (about) => about.instances.reduce((sum, made) => sum + made.channels, 0));
  } catch {
    return;
  }
  if (sequence !== state.thumbnailSequence || text !== editor.text || !result.floats) return;
  const { answer: about, covered } = result;
  const points = about.width * about.height;
  let at = 0;  // each instance's floats follow the one before's
  for (const made of about.instances) {
    const floats = result.floats.subarray(at, at + points * made.channels);
    at += floats.length;
    const image = new ImageData(about.width, about.height);
    const n = made.channels;
    // Results above 1 are scaled down to fit, so that a thumbnail shows their shape, not white.
    let largest = 1;
    for (let i = 0; i < floats.length; ++i)
      if (i % n !== 3 && Number.isFinite(floats[i]) && floats[i] > largest) largest = floats[i];
    const fit = (value) => byte(value / largest);
    for (let p = 0, i = 0; p < points; ++p, i += n) {
      const first = fit(floats[i]);
      image.data[4 * p] = first;
      image.data[4 * p + 1] = n === 1 ? first : fit(floats[i + 1]);
      image.data[4 * p + 2] = n === 1 ? first : n === 2 ? 0 : fit(floats[i + 2]);
      image.data[4 * p + 3] = covered && !covered[p] ? 0 : n === 4 ? byte(floats[i + 3]) : 255;
    }
    remember(keys.get(made.name) + chosenGeometry(), image);
    graph.thumbnail(made.name, image);
  }
  document.body.dataset.thumbnails = String(Number(document.body.dataset.thumbnails || 0) + 1);
}

// ---- The point under the pointer

// Its exact value, through each path shaded; asked again with each picture,
// so that it follows the text, the instance shown and the path.
async function readPoint() {
  const { x, y } = state.hover;
  const sequence = ++state.hoverSequence;
  const readout = $('readout');
  let answer;
  try {
    const result = await post('/api/point', { ...request(), x, y });
    answer = result.answer;
  } catch (error) {
    answer = { ok: false, error: `the server did not answer (${error.message})` };
  }
  if (sequence !== state.hoverSequence) return;
  readout.classList.toggle('failed', !answer.ok);
  readout.classList.toggle('differs', answer.same === false);
  if (!answer.ok) {
    readout.textContent = `point (${x}, ${y}): no value read: ${answer.error}`;
    readout.dataset.failed = 'true';
    return;
  }
  delete readout.dataset.failed;
  if (answer.covered === false) {
    readout.textContent = `point (${answer.x}, ${answer.y}): off the sphere, nothing shaded`;
    Object.assign(readout.dataset, { x: String(answer.x), y: String(answer.y), value: '', bits: '', sequence: String(sequence) });
    return;
  }
  const normal = answer.normal ? `  normal (${answer.normal.join(', ')})` : '';
  const lines = [`point (${answer.x}, ${answer.y})  u ${answer.u}, v ${answer.v}${normal}  ${answer.type}`];
  if (answer.c) lines.push(`C entry        ${answer.c.value}  [${answer.c.bits}]`);
  if (answer.cpp) lines.push(`shader object  ${answer.cpp.value}  [${answer.cpp.bits}]`);
  if (answer.batch) lines.push(`batch          ${answer.batch.value}  [${answer.batch.bits}]`);
  if (answer.same !== undefined) lines.push(answer.same ? 'the same bits' : 'THE PATHS DIFFER');
  readout.textContent = lines.join('\n');
  Object.assign(readout.dataset, {
    x: String(answer.x), y: String(answer.y), u: String(answer.u), v: String(answer.v),
    value: (answer.c || answer.cpp || answer.batch).value, bits: (answer.c || answer.cpp || answer.batch).bits,
    same: String(answer.same ?? ''), sequence: String(sequence),
  });
}

let hoverTimer = 0;
function hovered(event) {
  // In the whole grid's points, whatever size the picture shown has.
  const overlay = $('overlay');
  const x = Math.min(state.width - 1, Math.floor((event.offsetX / overlay.clientWidth) * state.width));
  const y = Math.min(state.height - 1, Math.floor((event.offsetY / overlay.clientHeight) * state.height));
  state.hover = { x, y };
  clearTimeout(hoverTimer);
  hoverTimer = setTimeout(readPoint, 30);
}

// ---- The catalogue

// A `shader` line for the chosen shader, with an instance name not yet
// made, after the caret's line: an edit that undo takes back.
function insertShader(shader) {
  const base = shader.operation.replace(/[^A-Za-z0-9_]/g, '_');
  const made = madeInstances();
  let name = base;
  for (let n = 2; made.has(name); ++n) name = `${base}${n}`;
  editor.insertLine(`shader ${shader.name} ${name}`);
}

async function loadCatalogue() {
  const listed = await getJson('/api/catalogue');
  catalogue.shaders = listed.shaders;
  catalogue.byName = new Map(listed.shaders.map((s) => [s.name, s]));
  const list = $('shaders');
  const shown = new Map();  // each entry's shader, as the catalogue gives it
  for (const shader of catalogue.shaders) {
    const item = document.createElement('li');
    item.dataset.name = shader.name;
    item.tabIndex = -1;  // one stop for the whole list: the arrows move within it
    item.setAttribute('role', 'button');
    item.setAttribute('aria-label', `insert ${shader.name}: ${shader.description}`);
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = shader.name;
    const signed = document.createElement('span');
    signed.className = 'signature';
    signed.textContent = signature(shader);
    const description = document.createElement('span');
    description.className = 'description';
    description.textContent = shader.description;
    item.append(name, signed, description);
    shown.set(item, shader);
    item.addEventListener('click', () => insertShader(shader));
    item.addEventListener('keydown', (event) => {
      if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
        event.preventDefault();
        const step = event.key === 'ArrowDown' ? 'nextElementSibling' : 'previousElementSibling';
        let next = item[step];
        while (next && next.hidden) next = next[step];
        if (next) rove(next).focus();
        return;
      }
      if (event.key !== 'Enter' && event.key !== ' ') return;
      event.preventDefault();
      insertShader(shader);
    });
    list.append(item);
  }
  rove(list.firstElementChild);
  $('filter').addEventListener('input', () => {
    const matches = catalogueMatcher($('filter').value);
    for (const item of list.children) item.hidden = !matches(shown.get(item));
    rove([...list.children].find((item) => !item.hidden));
  });
}

// The catalogue's one entry that Tab reaches.
function rove(item) {
  for (const other of $('shaders').querySelectorAll('li[tabindex="0"]')) other.tabIndex = -1;
  if (item) item.tabIndex = 0;
  return item;
}

// Alt+1 to Alt+5: the filter, the catalogue, the text, the graph, the picture.
const shortcuts = {
  1: () => $('filter'),
  2: () => $('shaders').querySelector('li[tabindex="0"]'),
  3: () => document.querySelector('#editor .cm-content'),
  4: () => document.querySelector('#graph .graph-view'),
  5: () => $('frame'),
};

// ---- Start

async function start() {
  const network = await getJson('/api/network');
  if (network.ok === false) setStatus(`cannot read the file: ${network.error}`);
  else adopt(network);
  state.gridSide = network.limits?.grid_side ?? state.gridSide;
  for (const id of ['grid-width', 'grid-height']) $(id).max = String(state.gridSide);
  state.width = network.width ?? state.width;
  state.height = network.height ?? state.height;
  $('save').title = state.file ? `write the text to ${state.file} (Ctrl+S)` : 'download the text (Ctrl+S)';
  for (const radio of document.querySelectorAll('input[name=path], input[name=geometry]'))
    radio.addEventListener('change', shade);
  $('overlay').addEventListener('mousemove', hovered);
  // A double-click on an instance's name in the text shows it too.
  $('editor').addEventListener('dblclick', () => {
    const word = editor.wordAtCaret();
    if (!madeInstances().has(word)) return;
    state.shown = word === state.output ? null : word;
    shade();
  });
  $('instance-filter').addEventListener('input', () => {
    const matches = catalogueMatcher($('instance-filter').value);
    for (const button of $('instances').children)
      button.hidden = !matches({ name: button.dataset.name, description: button.title });
  });
  $('save').addEventListener('click', () => save());
  $('cancel').addEventListener('click', cancel);
  for (const id of ['channel', 'backdrop', 'exposure', 'false-colour', 'zoom'])
    $(id).addEventListener(id === 'exposure' ? 'input' : 'change', viewsChanged);
  $('grid-width').value = String(state.width);
  $('grid-height').value = String(state.height);
  for (const id of ['grid-width', 'grid-height']) $(id).addEventListener('change', gridChanged);
  $('export-png').addEventListener('click', exportPng);
  $('export-exr').addEventListener('click', exportExr);
  $('disk-load').addEventListener('click', () => loadFile(`loaded ${state.file} as it is on disk`));
  $('disk-overwrite').addEventListener('click', () => save(true));
  $('disk-download').addEventListener('click', download);
  $('disk-keep').addEventListener('click', hideDisk);
  document.addEventListener('keydown', (event) => {
    if ((event.ctrlKey || event.metaKey) && !event.altKey && event.key.toLowerCase() === 's') {
      event.preventDefault();
      save();
    }
    const goes = event.altKey && !event.ctrlKey && !event.metaKey && shortcuts[event.key];
    if (goes) {
      event.preventDefault();
      goes()?.focus();
    }
  });
  // Leaving with unsaved edits asks first.
  window.addEventListener('beforeunload', (event) => {
    if (!unsaved()) return;
    event.preventDefault();
    event.returnValue = '';
  });
  setInterval(checkFile, fileCheck);
  window.addEventListener('focus', checkFile);
  await loadCatalogue();
  if (editor.text.trim()) shade();
}

start();
