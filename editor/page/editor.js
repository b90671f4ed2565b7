// The live editor: the network's text, shaded by the server (kvx-host serve)
// after each pause in typing; the picture, a point's exact value under the
// pointer, the instances to look at, and the library's catalogue.
'use strict';

const $ = (id) => document.getElementById(id);
const text = $('text');
const state = {
  file: null,        // the file Save writes, or null: Save downloads
  width: 256,
  height: 256,
  path: 'c',
  shown: null,       // the instance shown in place of the output, or null
  output: null,      // the output instance of the last picture
  sequence: 0,       // of shading requests: only the newest one's answer counts
  controller: null,  // aborts the request a newer one replaces
  errorLine: 0,
  timer: 0,
};
const pause = 250;  // ms without typing before the text is shaded

function setStatus(message) { $('status').textContent = message; }

// A JSON answer, or a picture: the length of the JSON about it (32 bits,
// little-endian), that JSON, and its float32 components.
async function post(route, body, signal) {
  const response = await fetch(route, {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body), signal,
  });
  if (!response.headers.get('Content-Type').startsWith('application/octet-stream'))
    return { status: response.status, answer: await response.json() };
  const buffer = await response.arrayBuffer();
  const length = new DataView(buffer).getUint32(0, true);
  const answer = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 4, length)));
  return { status: response.status, answer, floats: new Float32Array(buffer, 4 + length) };
}

// The instances the text makes, by name: `shader NAME INSTANCE` lines.
function madeInstances() {
  const names = new Set();
  for (const line of text.value.split('\n')) {
    const words = line.replace(/#.*/, '').trim().split(/\s+/);
    if (words[0] === 'shader' && words.length === 3) names.add(words[2]);
  }
  return names;
}

// The gutter's line numbers and the highlighted line, kept with the text.
function redrawLines() {
  const count = text.value.split('\n').length;
  const numbers = [];
  for (let n = 1; n <= count; ++n)
    numbers.push(n === state.errorLine ? `<span class="wrong">${n}</span>` : String(n));
  $('gutter').innerHTML = numbers.join('\n') + '\n';
  const marks = text.value.split('\n').map((line, i) => {
    const escaped = line.replace(/&/g, '&amp;').replace(/</g, '&lt;') || ' ';
    return i + 1 === state.errorLine ? `<span class="wrong">${escaped}</span>` : escaped;
  });
  $('marks').innerHTML = marks.join('\n') + '\n';
  placeError();
}

function lineHeight() { return parseFloat(getComputedStyle($('marks')).lineHeight); }

function placeError() {
  const box = $('error');
  if (!state.errorLine) return;
  const top = state.errorLine * lineHeight() + 6 - text.scrollTop;
  box.style.top = `${top}px`;
}

function showError(message, line) {
  state.errorLine = line;
  const box = $('error');
  box.textContent = message;
  box.dataset.line = String(line);
  box.hidden = false;
  $('frame').classList.add('stale');
  $('stale').hidden = false;
  redrawLines();
}

function clearError() {
  state.errorLine = 0;
  $('error').hidden = true;
  delete $('error').dataset.line;
  $('frame').classList.remove('stale');
  $('stale').hidden = true;
  redrawLines();
}

function request() {
  return { text: text.value, instance: state.shown, path: state.path, width: state.width, height: state.height };
}

// As kvx-host shade's PNG: each component clamped to [0, 1] (NaN as 0) and
// scaled; one component is gray, two are red and green, four carry alpha.
function byte(value) { return Number.isNaN(value) ? 0 : Math.round(Math.min(Math.max(value, 0), 1) * 255); }

function draw(answer, floats) {
  const picture = $('picture');
  const overlay = $('overlay');
  picture.width = overlay.width = answer.width;
  picture.height = overlay.height = answer.height;
  const context = picture.getContext('2d');
  const image = context.createImageData(answer.width, answer.height);
  const n = answer.channels;
  for (let p = 0, i = 0; p < answer.width * answer.height; ++p, i += n) {
    const o = 4 * p;
    const first = byte(floats[i]);
    image.data[o] = first;
    image.data[o + 1] = n === 1 ? first : byte(floats[i + 1]);
    image.data[o + 2] = n === 1 ? first : n === 2 ? 0 : byte(floats[i + 2]);
    image.data[o + 3] = n === 4 ? byte(floats[i + 3]) : 255;
  }
  context.putImageData(image, 0, 0);
  const marks = overlay.getContext('2d');
  marks.clearRect(0, 0, overlay.width, overlay.height);
  marks.fillStyle = '#ff00ff';
  for (const [x, y] of answer.mismatches) marks.fillRect(x, y, 1, 1);
}

function showInstances(answer) {
  const box = $('instances');
  box.replaceChildren();
  for (const made of answer.instances) {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = made.name;
    button.title = `${made.shader} (${made.type}), line ${made.line}`;
    button.dataset.name = made.name;
    if (made.name === state.output) button.classList.add('output');
    if (made.name === answer.instance) button.classList.add('shown');
    button.addEventListener('click', () => {
      state.shown = made.name === state.output ? null : made.name;
      shade();
    });
    box.append(button);
  }
}

async function shade() {
  if (state.shown && !madeInstances().has(state.shown)) state.shown = null;
  const sequence = ++state.sequence;
  state.controller?.abort();
  const controller = (state.controller = new AbortController());
  const started = performance.now();
  setStatus('shading…');
  document.body.dataset.answered = 'waiting';
  const sent = request();
  let result;
  try {
    result = await post('/api/shade', sent, controller.signal);
  } catch (error) {
    if (error.name !== 'AbortError') setStatus(`the server did not answer: ${error.message}`);
    return;
  }
  if (sequence !== state.sequence || result.status === 409) return;  // a newer request is under way
  const answer = result.answer;
  // For whoever watches the page (the browser test): the answer is for the
  // text as it stands.
  const current = sent.text === text.value && sent.instance === state.shown && sent.path === state.path;
  document.body.dataset.answered = current ? 'current' : 'older';
  if (!answer.ok) {
    if (answer.line !== undefined) {
      showError(answer.error, answer.line);
      setStatus('the text does not shade: the last good picture stays');
    } else {
      setStatus(answer.error);
    }
    return;
  }
  if (!state.shown) state.output = answer.instance;
  clearError();
  draw(answer, result.floats);
  showInstances(answer);
  const elapsed = performance.now() - started;
  document.body.dataset.pictures = String(Number(document.body.dataset.pictures || 0) + 1);
  document.body.dataset.elapsed = elapsed.toFixed(1);
  $('timing').textContent = `${answer.instance} (${answer.shader}, ${answer.type}) at ${answer.width}×${answer.height} ` +
    `points: ${answer.calls} shader calls in ${(answer.seconds * 1000).toFixed(1)} ms; ` +
    `${elapsed.toFixed(1)} ms from request to picture`;
  setStatus(answer.mismatches.length ? `the paths differ at ${answer.mismatches.length} points (marked)` : 'shaded');
}

function typed() {
  document.body.dataset.answered = 'typing';
  redrawLines();
  clearTimeout(state.timer);
  state.timer = setTimeout(shade, pause);
}

// The exact value under the pointer, through each path shaded.
let hoverTimer = 0;
function hovered(event) {
  const overlay = $('overlay');
  const x = Math.min(state.width - 1, Math.floor((event.offsetX / overlay.clientWidth) * overlay.width));
  const y = Math.min(state.height - 1, Math.floor((event.offsetY / overlay.clientHeight) * overlay.height));
  clearTimeout(hoverTimer);
  hoverTimer = setTimeout(async () => {
    const { answer } = await post('/api/point', { ...request(), x, y });
    const readout = $('readout');
    if (!answer.ok) return;
    const lines = [`point (${answer.x}, ${answer.y})  u ${answer.u}, v ${answer.v}  ${answer.type}`];
    if (answer.c) lines.push(`C entry        ${answer.c.value}  [${answer.c.bits}]`);
    if (answer.cpp) lines.push(`shader object  ${answer.cpp.value}  [${answer.cpp.bits}]`);
    if (answer.same !== undefined) lines.push(answer.same ? 'the same bits' : 'THE PATHS DIFFER');
    readout.textContent = lines.join('\n');
    readout.classList.toggle('differs', answer.same === false);
    readout.dataset.x = String(answer.x);
    readout.dataset.y = String(answer.y);
    readout.dataset.u = String(answer.u);
    readout.dataset.v = String(answer.v);
    readout.dataset.value = (answer.c || answer.cpp).value;
    readout.dataset.bits = (answer.c || answer.cpp).bits;
  }, 30);
}

// A `shader` line for the chosen shader, with an instance name not yet made.
function insertShader(shader) {
  const base = shader.operation.replace(/[^A-Za-z0-9_]/g, '_');
  const made = madeInstances();
  let name = base;
  for (let n = 2; made.has(name); ++n) name = `${base}${n}`;
  const at = text.value.indexOf('\n', text.selectionEnd);
  const end = at < 0 ? text.value.length : at;
  const line = `shader ${shader.name} ${name}`;
  const before = text.value.slice(0, end);
  const glue = before === '' || before.endsWith('\n') ? '' : '\n';
  text.value = before + glue + line + text.value.slice(end);
  const caret = before.length + glue.length + line.length;
  text.setSelectionRange(caret, caret);
  text.focus();
  typed();
}

function formatDefault(value) {
  if (value === null || value === undefined) return '';
  return ` = ${Array.isArray(value) ? value.join(', ') : value}`;
}

async function loadCatalogue() {
  const catalogue = await (await fetch('/api/catalogue')).json();
  const list = $('shaders');
  for (const shader of catalogue.shaders) {
    const item = document.createElement('li');
    item.dataset.name = shader.name;
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = shader.name;
    const signature = document.createElement('span');
    signature.className = 'signature';
    const parameters = shader.parameters.map((p) => `${p.name} ${p.type}${formatDefault(p.default)}`);
    signature.textContent = `(${parameters.join('; ')}) → ${shader.result}`;
    item.append(name, signature);
    item.addEventListener('click', () => insertShader(shader));
    list.append(item);
  }
  $('filter').addEventListener('input', () => {
    const words = $('filter').value.toLowerCase().split(/\s+/).filter(Boolean);
    for (const item of list.children) {
      const name = item.dataset.name.toLowerCase();
      item.hidden = !words.every((w) => name.includes(w));
    }
  });
}

async function save() {
  if (!state.file) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text.value], { type: 'text/plain' }));
    link.download = 'network.kvx';
    link.click();
    URL.revokeObjectURL(link.href);
    setStatus('downloaded network.kvx');
    return;
  }
  const { answer } = await post('/api/save', { text: text.value });
  setStatus(answer.ok ? `saved ${answer.file}` : `not saved: ${answer.error}`);
}

async function start() {
  const network = await (await fetch('/api/network')).json();
  text.value = network.text;
  state.file = network.file;
  state.width = network.width;
  state.height = network.height;
  $('file').textContent = state.file || 'a new network (Save downloads it)';
  $('save').title = state.file ? `write the text to ${state.file}` : 'download the text';
  text.addEventListener('input', typed);
  text.addEventListener('scroll', () => {
    $('marks').scrollTop = $('gutter').scrollTop = text.scrollTop;
    $('marks').scrollLeft = text.scrollLeft;
    placeError();
  });
  for (const radio of document.querySelectorAll('input[name=path]'))
    radio.addEventListener('change', () => {
      state.path = radio.value;
      shade();
    });
  $('overlay').addEventListener('mousemove', hovered);
  // A double-click on an instance's name in the text shows it too.
  text.addEventListener('dblclick', () => {
    const word = text.value.slice(text.selectionStart, text.selectionEnd).trim();
    if (!madeInstances().has(word)) return;
    state.shown = word === state.output ? null : word;
    shade();
  });
  $('save').addEventListener('click', save);
  redrawLines();
  await loadCatalogue();
  if (text.value.trim()) shade();
}

start();
