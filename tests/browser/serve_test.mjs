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

async function setText(page, value, settle = true) {
  await page.$eval('#text', (area, v) => {
    area.value = v;
    area.dispatchEvent(new Event('input'));
  }, value);
  if (settle) await settled(page);
}

// Typed by the keyboard at the end of the text.
async function typeAtEnd(page, more) {
  await page.$eval('#text', (area) => {
    area.focus();
    area.setSelectionRange(area.value.length, area.value.length);
  });
  await page.keyboard.type(more);
}

const onDisk = () => readFileSync(join(work, file), 'utf8');
const unsaved = (page) => page.$eval('#save', (b) => b.hasAttribute('data-unsaved'));
const textOf = (page) => page.$eval('#text', (e) => e.value);
const readout = (page) => page.$eval('#readout', (e) => ({ ...e.dataset, text: e.textContent }));

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 800 });
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(address);
  await page.waitForFunction(() => document.querySelectorAll('#shaders li').length === 402);

  // Typed, then shaded after the pause.
  await page.type('#text', network);
  await settled(page);
  assert.equal(await page.$eval('#error', (e) => e.hidden), true);
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
  assert.equal(await page.$eval('#error', (e) => e.textContent), message);
  assert.equal(await page.$eval('#error', (e) => e.dataset.line), '6');
  assert.equal(await page.$eval('#gutter .wrong', (e) => e.textContent), '6');
  assert.equal(await page.$eval('#stale', (e) => e.hidden), false);
  // The point's read-out follows the text, and says why it has no value.
  await page.waitForFunction(() => document.getElementById('readout').dataset.failed === 'true');
  assert.ok((await readout(page)).text.includes(message), (await readout(page)).text);
  await setText(page, network);
  assert.equal(await page.$eval('#stale', (e) => e.hidden), true);
  await page.waitForFunction(() => document.getElementById('readout').dataset.failed === undefined);

  // Another instance shown in the output's place; the read-out follows it.
  await page.click('#instances button[data-name="uv"]');
  await page.waitForFunction(() => document.querySelector('#instances button.shown')?.dataset.name === 'uv');
  await settled(page);
  assert.match(await page.$eval('#timing', (e) => e.textContent), /^uv \(State_parametric_uv, float2\)/);
  await page.waitForFunction((u, v) => document.getElementById('readout').dataset.value === `(${u}, ${v})`, {},
    hovered.u, hovered.v);

  // Both paths: no point differs.
  await page.click('input[name=path][value=both]');
  await settled(page);
  assert.equal(await page.$eval('#status', (e) => e.textContent), 'shaded');

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
  await page.click('#shaders li[data-name="Math_float3_sin"]');
  await settled(page);
  const text = await page.$eval('#text', (e) => e.value);
  assert.ok(text.endsWith('output scaled\nshader Math_float3_sin sin'), text);

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
  await page.waitForFunction((t) => document.getElementById('text').value === t, {}, outside);
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
  await page.waitForFunction((t) => document.getElementById('text').value === t, {}, network);
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

  // The time from request to picture, every example at 256 x 256 on 2 threads.
  await page.click('input[name=path][value=c]');
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
    console.log(`serve: ${example}: ${times[2].toFixed(1)} ms from request to picture (median of 5)`);
  }
  if (process.env.KVX_SCREENSHOT) {
    // docs/serve.png: rings.kvx, a point's value read out, the catalogue filtered.
    await setText(page, readFileSync(join(examples, 'rings.kvx'), 'utf8'));
    await page.$eval('#filter', (f) => {
      f.value = 'smoothstep';
      f.dispatchEvent(new Event('input'));
    });
    await page.mouse.move(box.x + 150.5 * (box.width / 256), box.y + 90.5 * (box.height / 256));
    await page.waitForFunction(() => document.getElementById('readout').dataset.x === '150');
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
