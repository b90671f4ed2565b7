// SPDX-License-Identifier: Apache-2.0
// kvx-host serve in a real browser: Debian's headless Chromium driven by
// puppeteer-core. Types a network into the editor, waits for the picture,
// reads a hovered value and compares it with `kvx-host eval`, makes an error
// and finds `kvx-host shade`'s message at its line, shows another instance,
// filters the catalogue, saves, and reads the file back; changes the file
// outside, with and without edits in the page; shades in two tabs at once;
// leaves a page with unsaved edits; marks where the paths of a faulty
// plug-in differ; loses the server. Prints the time from request to picture
// for every example network (not asserted).
//
//   KVX_HOST=build/default/kvx-host KVX_EXAMPLES=examples \
//   KVX_FAULTY_PLUGIN=build/default/tests/libkvx_faulty_plugin.so node tests/browser/serve_test.mjs
//
// Fails at once, saying what to install, without puppeteer-core or Chromium.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';

const missing = (what) => {
  console.error(`serve_test: ${what}`);
  process.exit(1);
};

let puppeteer;
try {
  puppeteer = (await import('puppeteer-core')).default;
} catch {
  missing('puppeteer-core is not installed: scripts/setup.sh installs it (npm ci in tests/browser)');
}
const chromium = ['/usr/bin/chromium-headless-shell', '/usr/bin/chromium'].find(existsSync);
if (!chromium) missing('no headless Chromium: scripts/setup.sh installs chromium-headless-shell');

const kvxHost = process.env.KVX_HOST;
const examples = process.env.KVX_EXAMPLES;
const faultyPlugin = process.env.KVX_FAULTY_PLUGIN;
assert.ok(kvxHost && examples && faultyPlugin,
  'KVX_HOST, KVX_EXAMPLES and KVX_FAULTY_PLUGIN name kvx-host, the example networks and the faulty plug-in');

const work = mkdtempSync(join(tmpdir(), 'kvx-serve-'));
const file = 'picture.kvx';  // not there yet: Save makes it
const network = [
  'shader State_parametric_uv uv',
  'shader Math_float2_multiply scaled',
  'connect uv.result scaled.left',
  'param scaled.right 2, 3',
  'output scaled',
].join('\n');

// A server, started as a user starts it; its first line is its address.
async function serve(args, env = process.env) {
  const started = spawn(kvxHost, ['serve', ...args, '--threads', '2', '-g', '256', '256'], { cwd: work, env });
  const at = await new Promise((resolve, reject) => {
    createInterface({ input: started.stdout }).once('line', resolve);
    started.once('exit', (code) => reject(new Error(`kvx-host serve ended (${code})`)));
  });
  assert.match(at, /^http:\/\/127\.0\.0\.1:\d+\/$/);
  return { process: started, address: at };
}
const { process: server, address } = await serve([file]);
const faulty = await serve([], { ...process.env, KVX_LIBRARY: faultyPlugin });

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: 'shell',
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--no-first-run'],
});

// The answer to the text as it now stands.
async function settled(page) {
  await page.waitForFunction(() => document.body.dataset.answered === 'current', { timeout: 20000 });
}

// The whole text replaced, as an edit (the page's own hook on its editor).
async function setText(page, value, settle = true) {
  await page.evaluate((v) => { window.kvxEditor.text = v; }, value);
  if (settle) await settled(page);
}

// The caret at the end of the text, in the editor.
async function caretAtEnd(page) {
  await page.evaluate(() => {
    const view = window.kvxEditor.view;
    view.dispatch({ selection: { anchor: view.state.doc.length } });
    view.focus();
  });
}

// Typed by the keyboard at the end of the text, a line at a time; Escape
// before each line's end closes any completion, as a typist who means a new
// line does.
async function typeAtEnd(page, more) {
  await caretAtEnd(page);
  const lines = more.split('\n');
  for (let i = 0; i < lines.length; ++i) {
    await page.keyboard.type(lines[i]);
    if (i + 1 < lines.length) {
      // Enter after a whole word makes a new line, though a list is open.
      await new Promise((resolve) => setTimeout(resolve, 150));
      await page.keyboard.press('Enter');
    }
  }
}

async function press(page, key, modifier = 'Control') {
  await page.keyboard.down(modifier);
  await page.keyboard.press(key);
  await page.keyboard.up(modifier);
}

const onDisk = () => readFileSync(join(work, file), 'utf8');
const unsaved = (page) => page.$eval('#save', (b) => b.hasAttribute('data-unsaved'));
const textOf = (page) => page.evaluate(() => window.kvxEditor.text);
const hasText = (page, text) => page.waitForFunction((t) => window.kvxEditor.text === t, {}, text);
const readout = (page) => page.$eval('#readout', (e) => ({ ...e.dataset, text: e.textContent }));

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 800 });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(address);
  await page.waitForFunction(() => document.querySelectorAll('#shaders li').length === 402);

  // Typed, with completion: the statement, the shader (its signature and
  // description shown), an instance and its parameter.
  // (The editor takes Enter as a choice only once a list has been shown a
  // moment, as a person sees it: `accept` waits for that.)
  const accept = async () => {
    await new Promise((resolve) => setTimeout(resolve, 150));
    await page.keyboard.press('Enter');
  };
  await caretAtEnd(page);
  await page.keyboard.type('sha');
  await page.waitForSelector('.cm-tooltip-autocomplete');
  await accept();
  await page.keyboard.type(' Math_float2_distan');
  await page.waitForFunction(() => document.querySelector('.cm-completionInfo')?.textContent.includes('square root'));
  await accept();
  await page.keyboard.type(' d');
  await page.keyboard.press('Escape');
  await page.keyboard.press('Enter');
  await page.keyboard.type('param d.f');
  await page.waitForFunction(() => [...document.querySelectorAll('.cm-tooltip-autocomplete li')]
    .some((li) => li.textContent.startsWith('from')));
  await accept();
  assert.equal(await textOf(page), 'shader Math_float2_distance d\nparam d.from');
  // Undone, and the rest typed line by line.
  for (let i = 0; i < 12 && (await textOf(page)) !== ''; ++i) await press(page, 'z');
  assert.equal(await textOf(page), '');
  await typeAtEnd(page, network);
  await settled(page);
  assert.equal(await textOf(page), network);
  assert.equal(await page.$eval('#problems', (e) => e.children.length), 0);
  assert.match(await page.$eval('#timing', (e) => e.textContent), /^scaled \(Math_float2_multiply, float2\) at 256×256/);

  // The value under the pointer is what kvx-host eval gives for that point.
  const frame = await page.$('#overlay');
  const box = await frame.boundingBox();
  const [x, y] = [40, 60];
  await page.mouse.move(box.x + (x + 0.5) * (box.width / 256), box.y + (y + 0.5) * (box.height / 256));
  await page.waitForFunction((px, py) => {
    const r = document.getElementById('readout').dataset;
    return r.x === String(px) && r.y === String(py);
  }, {}, x, y);
  const hovered = await readout(page);
  const evaluated = execFileSync(kvxHost, ['eval', 'Math_float2_multiply', `left=${hovered.u},${hovered.v}`,
    'right=2,3', '--path', 'c'], { encoding: 'utf8' });
  assert.ok(evaluated.includes(`${hovered.value}  [${hovered.bits}]`), `${evaluated} against ${JSON.stringify(hovered)}`);

  // An error: kvx-host shade's message, at its line; the last picture stays, stale.
  const wrong = `${network}\nparam scaled.right 2`;
  await setText(page, wrong);
  // The same text under the same name for kvx-host shade, away from the
  // file the page edits.
  mkdirSync(join(work, 'shade'));
  writeFileSync(join(work, 'shade', file), wrong);
  let message = '';
  try {
    execFileSync(kvxHost, ['shade', file], { cwd: join(work, 'shade'), encoding: 'utf8', stdio: 'pipe' });
  } catch (e) {
    message = e.stderr.trim().replace(/^kvx-host: /, '');
  }
  assert.match(message, /^picture\.kvx:6: /);
  assert.equal(await page.$eval('#problems .problem', (e) => e.textContent), message);
  assert.equal(await page.$eval('#problems .problem', (e) => e.dataset.line), '6');
  await page.waitForSelector('.cm-lint-marker-error');
  assert.equal(await page.$eval('#stale', (e) => e.hidden), false);
  // The problems list goes to the line.
  await page.evaluate(() => window.kvxEditor.goToLine(1));
  await page.click('#problems .problem');
  assert.equal(await page.evaluate(() => window.kvxEditor.caretLine()), 6);
  // The point's read-out follows the text, and says why it has no value.
  await page.waitForFunction(() => document.getElementById('readout').dataset.failed === 'true');
  assert.ok((await readout(page)).text.includes(message), (await readout(page)).text);
  // A misspelt name: the problem offers the nearest, which one choice puts in.
  await setText(page, network.replace('Math_float2_multiply', 'Math_float2_multiplY'));
  assert.match(await page.$eval('#problems .problem', (e) => e.textContent),
    /unknown shader 'Math_float2_multiplY'; did you mean 'Math_float2_multiply'\?/);
  await page.click('#problems .suggestion[data-name="Math_float2_multiply"]');
  await settled(page);
  assert.equal(await textOf(page), network);
  assert.equal(await page.$eval('#stale', (e) => e.hidden), true);
  await page.waitForFunction(() => document.getElementById('readout').dataset.failed === undefined);

  // Another instance shown in the output's place; the read-out follows it.
  await page.click('#instances button[data-name="uv"]');
  await page.waitForFunction(() => document.querySelector('#instances button.shown')?.dataset.name === 'uv');
  await settled(page);
  assert.match(await page.$eval('#timing', (e) => e.textContent), /^uv \(State_parametric_uv, float2\)/);
  await page.waitForFunction((u, v) => document.getElementById('readout').dataset.value === `(${u}, ${v})`, {},
    hovered.u, hovered.v);

  // All three interfaces: no point differs, and the read-out gives each.
  await page.click('input[name=path][value=all]');
  await settled(page);
  assert.equal(await page.$eval('#status', (e) => e.textContent), 'shaded');
  await page.waitForFunction(() => /\nC entry .*\nshader object .*\nbatch .*\nthe same bits$/
    .test(document.getElementById('readout').textContent));

  // The catalogue, filtered by names, descriptions and the usual names
  // elsewhere; a choice adds a shader line with a new instance.
  const filtered = async (words) => {
    await page.$eval('#filter', (f) => { f.value = ''; });
    await page.type('#filter', words);
    return (await page.$$eval('#shaders li', (items) => items.filter((i) => !i.hidden).map((i) => i.dataset.name))).sort();
  };
  assert.deepEqual(await filtered('mix'), ['Math_color_lerp', 'Math_float2_lerp', 'Math_float3_lerp', 'Math_float4_lerp',
    'Math_float_lerp']);
  assert.deepEqual(await filtered('float3 sin'), ['Math_float3_asin', 'Math_float3_sin']);
  await caretAtEnd(page);
  await page.click('#shaders li[data-name="Math_float3_sin"]');
  await settled(page);
  const text = await textOf(page);
  assert.ok(text.endsWith('output scaled\nshader Math_float3_sin sin'), text);
  // Undo takes the insertion back, redo makes it again; the keyboard reaches
  // the catalogue's entries.
  await press(page, 'z');
  assert.equal(await textOf(page), network);
  await press(page, 'y');
  assert.equal(await textOf(page), text);
  await page.focus('#shaders li[data-name="Math_float3_asin"]');
  await page.keyboard.press('Enter');
  await press(page, 'z');
  assert.equal(await textOf(page), text);
  await settled(page);

  // Save writes the named file, and only that one; the title and Save show
  // unsaved edits until then.
  assert.match(await page.title(), /^• picture\.kvx/);
  assert.equal(await unsaved(page), true);
  await page.click('#save');
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('saved'));
  assert.equal(onDisk(), text);
  assert.deepEqual(readdirSync(work).sort(), [file, 'shade']);
  assert.match(await page.title(), /^picture\.kvx/);
  assert.equal(await unsaved(page), false);

  // Ctrl+S saves.
  await typeAtEnd(page, '\n# a note');
  assert.equal(await unsaved(page), true);
  await page.keyboard.down('Control');
  await page.keyboard.press('s');
  await page.keyboard.up('Control');
  await page.waitForFunction(() => !document.getElementById('save').hasAttribute('data-unsaved'));
  assert.equal(onDisk(), await textOf(page));

  // Changed outside, the page without edits: it takes the file's new text.
  const outside = `${network}\n# changed outside\n`;
  writeFileSync(join(work, file), outside);
  await hasText(page, outside);
  assert.equal(await unsaved(page), false);

  // Changed outside while the page has edits: Save writes nothing and offers
  // the choice; overwriting writes the page's text.
  await typeAtEnd(page, '# mine\n');
  writeFileSync(join(work, file), `${outside}# theirs\n`);
  await page.click('#save');
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('not saved'));
  assert.equal(await page.$eval('#disk', (e) => e.hidden), false);
  assert.match(await page.$eval('#disk-message', (e) => e.textContent), /picture\.kvx has changed on disk/);
  assert.equal(onDisk(), `${outside}# theirs\n`, 'nothing written over the outside change');
  await page.click('#disk-overwrite');
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('saved'));
  assert.equal(onDisk(), `${outside}# mine\n`);
  assert.equal(await page.$eval('#disk', (e) => e.hidden), true);

  // Or the file's text, loaded in place of the page's edits.
  await typeAtEnd(page, '# again\n');
  writeFileSync(join(work, file), network);
  await page.waitForFunction(() => !document.getElementById('disk').hidden);
  assert.equal(await textOf(page), `${outside}# mine\n# again\n`, 'edits are never replaced unasked');
  await page.click('#disk-load');
  await hasText(page, network);
  assert.equal(await unsaved(page), false);
  await settled(page);

  // Two tabs: each shades its own text, neither abandons the other's request.
  const second = await browser.newPage();
  second.on('pageerror', (e) => errors.push(e.message));
  await second.goto(address);
  await second.waitForFunction(() => document.body.dataset.answered === 'current');
  const chain = ['shader State_parametric_uv at', 'shader Math_float2_distance s0', 'connect at.result s0.from'];
  for (let i = 1; i < 1000; ++i) chain.push(`shader Math_float_sin s${i}`, `connect s${i - 1}.result s${i}.input`);
  chain.push('output s999');
  await setText(page, chain.join('\n'), false);
  await page.waitForFunction(() => document.body.dataset.answered === 'waiting');
  await setText(second, network);
  await settled(page);
  assert.match(await page.$eval('#timing', (e) => e.textContent), /^s999 \(Math_float_sin, float\)/);
  assert.match(await second.$eval('#timing', (e) => e.textContent), /^scaled \(Math_float2_multiply, float2\)/);

  // Leaving a page with unsaved edits asks first.
  await typeAtEnd(second, '\n# unsaved');
  const asked = new Promise((resolve) => second.once('dialog', async (dialog) => {
    resolve(dialog.type());
    await dialog.accept();
  }));
  await second.close({ runBeforeUnload: true });
  assert.equal(await asked, 'beforeunload');
  await setText(page, network);

  // The time from request to picture, every example at 256 x 256 on 2 threads,
  // through the batches.
  await page.click('input[name=path][value=batch]');
  await settled(page);
  await page.click('#instances button[data-name="scaled"]');
  await settled(page);
  for (const example of readdirSync(examples).filter((f) => f.endsWith('.kvx')).sort()) {
    const times = [];
    for (let round = 0; round < 5; ++round) {
      await setText(page, readFileSync(join(examples, example), 'utf8') + '\n'.repeat(round));
      times.push(Number(await page.$eval('body', (b) => b.dataset.elapsed)));
    }
    times.sort((a, b) => a - b);
    // A key typed at the end of the text, to its picture drawn.
    const keys = [];
    for (let round = 0; round < 5; ++round) {
      await caretAtEnd(page);
      const pictures = await page.$eval('body', (b) => Number(b.dataset.pictures));
      const keyAt = await page.evaluate(() => performance.now());
      await page.keyboard.press(round % 2 ? 'Backspace' : 'Space');
      await page.waitForFunction((n) => Number(document.body.dataset.pictures) > n, {}, pictures);
      await settled(page);
      keys.push(await page.$eval('body', (b, at) => Number(b.dataset.drawnAt) - at, keyAt));
    }
    keys.sort((a, b) => a - b);
    console.log(`serve: ${example}: ${times[2].toFixed(1)} ms from request to picture, ${keys[2].toFixed(1)} ms ` +
      'from a key to its picture (medians of 5)');
  }

  // The graph: a node an instance, a thumbnail on each one in view, the
  // output marked; a wire drawn from a result to a parameter writes its line,
  // which undo takes back.
  await setText(page, `${network}\nshader Math_float2_add more\n`);
  await page.waitForFunction(() => document.querySelectorAll('.graph-node').length === 3);
  await page.waitForFunction(() => document.querySelectorAll('.graph-thumbnail[data-drawn]').length === 3);
  assert.equal(await page.$eval('.graph-node.output', (n) => n.dataset.name), 'scaled');
  // A wire drawn with the mouse from a node's result to a parameter.
  const drawWire = async (from, to, parameter) => {
    const a = await (await page.$(`.graph-node[data-name="${from}"] .graph-result`)).boundingBox();
    const b = await (await page.$(`.graph-node[data-name="${to}"] .graph-parameter[data-parameter="${parameter}"]`))
      .boundingBox();
    await page.mouse.move(a.x + a.width / 2, a.y + a.height / 2);
    await page.mouse.down();
    await page.mouse.move(b.x + b.width / 2, b.y + b.height / 2, { steps: 4 });
    await page.mouse.up();
  };
  await drawWire('uv', 'more', 'left');
  assert.ok((await textOf(page)).endsWith('shader Math_float2_add more\nconnect uv.result more.left\n'), await textOf(page));
  await page.waitForFunction(() => document.querySelectorAll('.graph-wire').length === 2);
  await press(page, 'z');
  assert.ok((await textOf(page)).endsWith('shader Math_float2_add more\n'), await textOf(page));
  await page.waitForFunction(() => document.querySelectorAll('.graph-wire').length === 1);
  // A wire dropped on a parameter that holds a constant takes the constant's line.
  await drawWire('uv', 'scaled', 'right');
  assert.ok((await textOf(page)).includes('connect uv.result scaled.right\n') &&
    !(await textOf(page)).includes('param scaled.right'), await textOf(page));
  await press(page, 'z');
  assert.ok((await textOf(page)).includes('param scaled.right 2, 3'), await textOf(page));
  await settled(page);
  // A wire chosen by a click goes with Delete.
  const wireAt = await page.$eval('.graph-wire', (path) => {
    const middle = path.getPointAtLength(path.getTotalLength() / 2);
    const screen = middle.matrixTransform(path.getScreenCTM());
    return { x: screen.x, y: screen.y };
  });
  await page.mouse.click(wireAt.x, wireAt.y);
  await page.keyboard.press('Delete');
  await page.waitForFunction(() => document.querySelectorAll('.graph-wire').length === 0);
  assert.ok(!(await textOf(page)).includes('connect uv.result scaled.left'), await textOf(page));
  await setText(page, `${network}\nshader Math_float2_add more\n`);
  // Choosing a node, by click or by Enter, shows it and leaves the text as it is.
  const before = await textOf(page);
  await page.click('.graph-node[data-name="uv"] .graph-name');
  await settled(page);
  assert.match(await page.$eval('#timing', (e) => e.textContent), /^uv \(State_parametric_uv, float2\)/);
  assert.equal(await page.evaluate(() => window.kvxEditor.caretLine()), 1);
  await page.focus('.graph-node[data-name="scaled"]');
  await page.keyboard.press('Enter');
  await page.keyboard.type('x');
  await page.keyboard.press('Enter');
  assert.equal(await textOf(page), before);
  // Results reused layer after layer keep short keys: every thumbnail in view is drawn.
  const layers = ['shader State_parametric_uv p0'];
  for (let i = 1; i <= 22; ++i)
    layers.push(`shader Math_float2_multiply s${i}`, `param s${i}.right 1.7, 1.7`, `connect p${i - 1}.result s${i}.left`,
      `shader Math_float2_sin w${i}`, `connect s${i}.result w${i}.input`,
      `shader Math_float2_add p${i}`, `connect p${i - 1}.result p${i}.left`, `connect w${i}.result p${i}.right`);
  layers.push('output p22');
  const drawnBefore = Number(await page.$eval('body', (b) => b.dataset.thumbnails || 0));
  await setText(page, layers.join('\n') + '\n');
  await page.waitForFunction((n) => Number(document.body.dataset.thumbnails || 0) > n, { timeout: 20000 }, drawnBefore);
  assert.ok(await page.evaluate(() => [...window.kvxGraph.resultKeys(window.kvxGraph.readNetwork(window.kvxEditor.text))
    .values()].every((key) => key.length < 16)));
  await setText(page, `${network}\nshader Math_float2_add more\n`);

  // On the sphere: the normal under the pointer, a unit vector facing the
  // camera; off the sphere, nothing, and the picture transparent there.
  await page.click('#instances button[data-name="scaled"]').catch(() => {});
  await setText(page, 'shader State_normal n\noutput n\n');
  await page.click('input[name=geometry][value=sphere]');
  await settled(page);
  const onSphere = async (px, py) => {
    await page.mouse.move(box.x + (px + 0.5) * (box.width / 256), box.y + (py + 0.5) * (box.height / 256));
    await page.waitForFunction((qx, qy) => {
      const r = document.getElementById('readout').dataset;
      return r.x === String(qx) && r.y === String(qy);
    }, {}, px, py);
    return readout(page);
  };
  const normal = (await onSphere(160, 100)).value.replace(/[()]/g, '').split(',').map(Number);
  assert.ok(Math.abs(Math.hypot(...normal) - 1) < 1e-6 && normal[2] > 0, JSON.stringify(normal));
  assert.ok(Math.abs(normal[0] - (2 * 160 + 1 - 256) / 256) < 1e-6, JSON.stringify(normal));
  assert.match((await onSphere(2, 2)).text, /off the sphere/);
  assert.equal(await page.$eval('#picture', (c) => c.getContext('2d').getImageData(2, 2, 1, 1).data[3]), 0);
  await page.waitForFunction(() => {
    const thumbnail = document.querySelector('.graph-node[data-name="n"] .graph-thumbnail[data-drawn]');
    return thumbnail && thumbnail.getContext('2d').getImageData(0, 0, 1, 1).data[3] === 0;
  }, { timeout: 20000 });  // the thumbnail transparent off the sphere too
  // Views of the same floats: one channel, zoomed in to single points.
  await page.select('#channel', 'a');
  assert.equal(await page.$eval('#picture', (c) => c.getContext('2d').getImageData(128, 128, 1, 1).data[3]), 255,
    'a channel shown is opaque');
  await page.select('#zoom', '8');
  assert.equal(await page.$eval('#stage', (s) => s.clientWidth / document.getElementById('frame').clientWidth > 7), true);
  await page.select('#zoom', '1');
  await page.select('#channel', 'rgb');
  await page.click('input[name=geometry][value=plane]');
  await setText(page, network);

  // A chain of 10 000 instances shows an eighth-size picture first; Cancel
  // stops the whole one.
  {
    const long = ['shader State_parametric_uv at', 'shader Math_float2_distance s0', 'connect at.result s0.from'];
    for (let i = 1; i < 10000; ++i) long.push(`shader Math_float_sin s${i}`, `connect s${i - 1}.result s${i}.input`);
    long.push('output s9999');
    const asked = await page.evaluate(() => performance.now());
    await setText(page, long.join('\n'), false);
    await page.waitForFunction((t) => Number(document.body.dataset.coarseAt || 0) > t, { timeout: 20000 }, asked);
    const first = await page.$eval('body', (b, t) => Number(b.dataset.coarseAt) - t, asked);
    console.log(`serve: a 10 000-instance chain: its first (32×32) picture ${first.toFixed(0)} ms after the text`);
    assert.equal(await page.$eval('#cancel', (b) => b.hidden), false);
    await page.click('#cancel');
    assert.equal(await page.$eval('body', (b) => b.dataset.answered), 'cancelled');
    await setText(page, network);
  }

  // The cost of a key in the editor, by the text's size (no output: nothing
  // to shade, the editor's own work alone).
  for (const count of [10, 1000, 10000]) {
    const lines = [];
    for (let i = 0; i < count; ++i) lines.push(`shader Math_float_sin s${i}`, `param s${i}.input ${i}`);
    await setText(page, lines.join('\n'));
    await page.evaluate(() => window.kvxEditor.goToLine(Math.floor(window.kvxEditor.view.state.doc.lines / 2)));
    // The editor's and the page's work for a key, the layout it forces
    // included; each key in a frame of its own.
    const cost = await page.evaluate(async () => {
      const frame = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
      const view = window.kvxEditor.view;
      let spent = 0;
      for (let k = 0; k < 20; ++k) {
        await frame();
        const started = performance.now();
        view.dispatch(view.state.replaceSelection(k % 2 ? '' : '7'));
        view.dom.getBoundingClientRect();
        void document.body.offsetHeight;
        spent += performance.now() - started;
      }
      return spent / 20;
    });
    console.log(`serve: a key at ${count} instances: ${cost.toFixed(2)} ms of work`);
  }
  await setText(page, network);
  if (process.env.KVX_SCREENSHOT) {
    // docs/serve.png: rings.kvx, a point's value read out, the catalogue filtered.
    await setText(page, readFileSync(join(examples, 'rings.kvx'), 'utf8'));
    await page.$eval('#filter', (f) => {
      f.value = 'smoothstep';
      f.dispatchEvent(new Event('input'));
    });
    await page.mouse.move(box.x + 150.5 * (box.width / 256), box.y + 90.5 * (box.height / 256));
    await page.waitForFunction(() => document.getElementById('readout').dataset.x === '150');
    // (the nodes in view: half of rings.kvx's ten at the graph's size then)
    await page.waitForFunction(() => document.querySelectorAll('.graph-thumbnail[data-drawn]').length >= 5);
    await page.screenshot({ path: process.env.KVX_SCREENSHOT });
  }

  // A plug-in whose paths differ in the low bit of ints beyond 2^24, on the
  // left half: every point that differs is marked, though the floats shown
  // are the same.
  const third = await browser.newPage();
  third.on('pageerror', (e) => errors.push(e.message));
  await third.goto(faulty.address);
  await third.waitForFunction(() => document.querySelectorAll('#shaders li').length === 402);
  await third.click('input[name=path][value=both]');
  assert.equal(await third.$eval('input[name=path][value=both]', (e) => e.checked), true);
  await setText(third, [
    'shader State_parametric_uv uv',
    'shader Math_float2_dot u', 'connect uv.result u.left', 'param u.right 1, 0',
    'shader Math_float_less_than left', 'connect u.result left.left', 'param left.right 0.5',
    'shader Math_int_conditional pick', 'connect left.result pick.condition',
    'param pick.true_value 16777217', 'param pick.false_value 16777218',
    'shader Math_int_add sum', 'connect pick.result sum.left', 'param sum.right 0', 'output sum',
  ].join('\n'));
  assert.equal(await third.$eval('#status', (e) => e.textContent), 'the paths differ at 32768 points (marked)');
  const marked = await third.$eval('#overlay', (overlay) => {
    const pixels = overlay.getContext('2d').getImageData(0, 0, overlay.width, overlay.height).data;
    let left = 0, right = 0;
    for (let p = 0; p < overlay.width * overlay.height; ++p)
      if (pixels[4 * p + 3]) (p % overlay.width < overlay.width / 2 ? ++left : ++right);
    return { left, right };
  });
  assert.deepEqual(marked, { left: 32768, right: 0 });
  const faultyBox = await (await third.$('#overlay')).boundingBox();
  await third.mouse.move(faultyBox.x + 10, faultyBox.y + 10);
  await third.waitForFunction(() => document.getElementById('readout').dataset.same === 'false');
  assert.match((await readout(third)).text, /C entry +16777216 .*\nshader object +16777217 .*\nTHE PATHS DIFFER/s);

  // The server gone: the page says so, for the picture and for the point.
  faulty.process.kill();
  await new Promise((resolve) => faulty.process.once('exit', resolve));
  await setText(third, 'shader State_parametric_uv uv', false);
  await third.waitForFunction(() => document.body.dataset.answered === 'failed');
  assert.match(await third.$eval('#status', (e) => e.textContent), /^not shaded: the server did not answer/);
  await third.mouse.move(faultyBox.x + 20, faultyBox.y + 20);
  await third.waitForFunction(() => document.getElementById('readout').dataset.failed === 'true');
  assert.match((await readout(third)).text, /no value read: the server did not answer/);

  assert.deepEqual(errors, []);
  console.log('serve: the live editor works in the browser');
} finally {
  await browser.close();
  server.kill();
  faulty.process.kill();
  rmSync(work, { recursive: true, force: true });
}
