// kvx-host serve in a real browser: Debian's headless Chromium driven by
// puppeteer-core. Types a network into the editor, waits for the picture,
// reads a hovered value and compares it with `kvx-host eval`, makes an error
// and finds `kvx-host shade`'s message at its line, shows another instance,
// filters the catalogue, saves, and reads the file back. Prints the time
// from request to picture for every example network (not asserted).
//
//   KVX_HOST=build/default/kvx-host KVX_EXAMPLES=examples node tests/browser/serve_test.mjs
//
// Fails at once, saying what to install, without puppeteer-core or Chromium.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
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
assert.ok(kvxHost && examples, 'KVX_HOST and KVX_EXAMPLES name kvx-host and the example networks');

const work = mkdtempSync(join(tmpdir(), 'kvx-serve-'));
const file = 'picture.kvx';  // not there yet: Save makes it
const network = [
  'shader State_parametric_uv uv',
  'shader Math_float2_multiply scaled',
  'connect uv.result scaled.left',
  'param scaled.right 2, 3',
  'output scaled',
].join('\n');

// The server, started as a user starts it; its first line is its address.
const server = spawn(kvxHost, ['serve', file, '--threads', '2', '-g', '256', '256'], { cwd: work });
const address = await new Promise((resolve, reject) => {
  createInterface({ input: server.stdout }).once('line', resolve);
  server.once('exit', (code) => reject(new Error(`kvx-host serve ended (${code})`)));
});
assert.match(address, /^http:\/\/127\.0\.0\.1:\d+\/$/);

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

async function setText(page, value) {
  await page.$eval('#text', (area, v) => {
    area.value = v;
    area.dispatchEvent(new Event('input'));
  }, value);
  await settled(page);
}

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
  const readout = await page.$eval('#readout', (e) => ({ ...e.dataset }));
  const evaluated = execFileSync(kvxHost, ['eval', 'Math_float2_multiply', `left=${readout.u},${readout.v}`,
    'right=2,3', '--path', 'c'], { encoding: 'utf8' });
  assert.ok(evaluated.includes(`${readout.value}  [${readout.bits}]`), `${evaluated} against ${JSON.stringify(readout)}`);

  // An error: kvx-host shade's message, at its line; the last picture stays, stale.
  const wrong = `${network}\nparam scaled.right 2`;
  await setText(page, wrong);
  writeFileSync(join(work, file), wrong);
  let message = '';
  try {
    execFileSync(kvxHost, ['shade', file], { cwd: work, encoding: 'utf8', stdio: 'pipe' });
  } catch (e) {
    message = e.stderr.trim().replace(/^kvx-host: /, '');
  }
  assert.match(message, /^picture\.kvx:6: /);
  assert.equal(await page.$eval('#error', (e) => e.textContent), message);
  assert.equal(await page.$eval('#error', (e) => e.dataset.line), '6');
  assert.equal(await page.$eval('#gutter .wrong', (e) => e.textContent), '6');
  assert.equal(await page.$eval('#stale', (e) => e.hidden), false);
  await setText(page, network);
  assert.equal(await page.$eval('#stale', (e) => e.hidden), true);

  // Another instance shown in the output's place.
  await page.click('#instances button[data-name="uv"]');
  await page.waitForFunction(() => document.querySelector('#instances button.shown')?.dataset.name === 'uv');
  await settled(page);
  assert.match(await page.$eval('#timing', (e) => e.textContent), /^uv \(State_parametric_uv, float2\)/);

  // Both paths: no point differs.
  await page.click('input[name=path][value=both]');
  await settled(page);
  assert.equal(await page.$eval('#status', (e) => e.textContent), 'shaded');

  // The catalogue, filtered; a choice adds a shader line with a new instance.
  await page.type('#filter', 'float3 sin');
  const shown = await page.$$eval('#shaders li', (items) => items.filter((i) => !i.hidden).map((i) => i.dataset.name));
  assert.deepEqual(shown.sort(), ['Math_float3_asin', 'Math_float3_sin']);
  await page.click('#shaders li[data-name="Math_float3_sin"]');
  await settled(page);
  const text = await page.$eval('#text', (e) => e.value);
  assert.ok(text.endsWith('output scaled\nshader Math_float3_sin sin'), text);

  // Save writes the named file, and only that one.
  await page.click('#save');
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('saved'));
  assert.equal(readFileSync(join(work, file), 'utf8'), text);
  assert.deepEqual(readdirSync(work).sort(), [file]);

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
  assert.deepEqual(errors, []);
  console.log('serve: the live editor works in the browser');
} finally {
  await browser.close();
  server.kill();
  rmSync(work, { recursive: true, force: true });
}
