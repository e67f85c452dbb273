// The show's web page in Debian's chromium, headless, driven through playwright-core. The page is
// served from 127.0.0.1 by a server started and stopped here.
//   node web_test.mjs frames PAGE_DIR GOLDEN_FILE OUT_DIR CAPTURE
//       simulated run: frames equal the native program's golden frames, the sound equals what
//       the native capture tool (CAPTURE) writes; the per-scene timing
//   node web_test.mjs gentle PAGE_DIR GENTLE_GOLDEN_FILE OUT_DIR
//       the start screen's warning, and the gentle show it offers against the native gentle
//       show's golden frames; the start screen fits a phone upright and on its side
//   node web_test.mjs live PAGE_DIR OUT_DIR                 real time: sound, picture, keys
//   node web_test.mjs sound PAGE_DIR OUT_DIR MODRENDER MOD
//       real time with the page's thread stalled 150 ms every 2 s: what reaches the speakers
//       equals the native soundtrack (MODRENDER's render of MOD) sample for sample, served and
//       from file:// (the single-file page)
//   node web_test.mjs measure PAGE_DIR OUT_DIR MODRENDER MOD
//       the page's main-thread time and frame rate at three picture sizes (as "present"); breaks
//       in 60 s of stalls at CPU throttling 1, 4 and 6; click to first sound (a report)
//   node web_test.mjs present PAGE_DIR                     the first of those alone
import { createServer } from 'node:http';
import { readFile, mkdtemp, rm, mkdir, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { inflateSync } from 'node:zlib';
import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';

const require = createRequire(import.meta.url);
// Installed by the test setup (npm ci in the build tree), found through NODE_PATH.
const { chromium } = require('playwright-core');

const CHROMIUM = process.env.DRIFTLIGHT_CHROMIUM || '/usr/bin/chromium';
const FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
               '--disable-background-networking', '--disable-component-update', '--disable-sync'];
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

// Hang guards: every wait is for an event (a state, a frame count), never for a time; the guards
// only stop a test that would otherwise hang, and leave room for a machine ten times slower.
const GUARD_MS = 120000;
const SHOW_GUARD_MS = 1500000;  // the whole simulated show; the test's CTest timeout is above it

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'}  ${what}`);
  if (!ok) failures += 1;
}

async function serve(dir) {
  const server = createServer(async (req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(dir, name === '/' ? 'index.html' : path.normalize(name));
    if (!file.startsWith(dir)) { res.writeHead(403).end(); return; }
    try {
      const body = await readFile(file);
      res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
      res.end(body);
    } catch {
      res.writeHead(404).end();
    }
  });
  await new Promise((ok) => server.listen(0, '127.0.0.1', ok));
  return { server, url: `http://127.0.0.1:${server.address().port}/` };
}

// viewport: {width, height} in CSS pixels, and scale, the device-pixel ratio (1 if not given).
async function withBrowser(extraFlags, viewport, body) {
  const profile = await mkdtemp(path.join(tmpdir(), 'driftlight-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, headless: true, args: [...FLAGS, ...extraFlags],
    viewport: { width: viewport.width, height: viewport.height },
    deviceScaleFactor: viewport.scale || 1,
  });
  try {
    return await body(context);
  } finally {
    await context.close();
    await rm(profile, { recursive: true, force: true });
  }
}

function watchConsole(page) {
  page.on('pageerror', (e) => { console.log(`page error: ${e.message}`); failures += 1; });
  page.on('console', (m) => { if (m.type() === 'error') console.log(`console: ${m.text()}`); });
}

// Opens the page and clicks a start control (#start: the show as written; #start-gentle), unless
// the page failed before it was ready.
async function startShow(page, url, control = '#start') {
  await page.goto(url);
  await page.waitForFunction(() => window.driftlight &&
                             ['ready', 'failed'].includes(window.driftlight.state),
                             null, { timeout: GUARD_MS });
  if (await page.evaluate(() => window.driftlight.state) === 'ready') await page.click(control);
}

// Just enough PNG to read a screenshot: 8-bit RGB or RGBA, not interlaced.
function decodePng(buf) {
  let at = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (at < buf.length) {
    const len = buf.readUInt32BE(at);
    const type = buf.toString('latin1', at + 4, at + 8);
    const data = buf.subarray(at + 8, at + 8 + len);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      if (data[8] !== 8 || data[12] !== 0) throw new Error('unexpected PNG');
      channels = { 2: 3, 6: 4 }[data[9]];
    } else if (type === 'IDAT') {
      idat.push(data);
    }
    at += 12 + len;
  }
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const out = Buffer.alloc(height * stride);
  for (let y = 0; y < height; ++y) {
    const f = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? out[y * stride + x - channels] : 0;
      const b = y > 0 ? out[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? out[(y - 1) * stride + x - channels] : 0;
      let v = line[x];
      if (f === 1) v += a;
      else if (f === 2) v += b;
      else if (f === 3) v += (a + b) >> 1;
      else if (f === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      out[y * stride + x] = v & 255;
    }
  }
  const pixel = (x, y) => {
    const i = y * stride + x * channels;
    return [out[i], out[i + 1], out[i + 2]];
  };
  return { width, height, pixel };
}

// The brightest channel over a rectangle of the screenshot.
function brightest(png, x0, y0, x1, y1) {
  let max = 0;
  for (let y = y0; y < y1; y += 2)
    for (let x = x0; x < x1; x += 2) max = Math.max(max, ...png.pixel(x, y));
  return max;
}

// Simulated run: every presented frame's music position and pixel hash against the native
// offline host's golden frames; then the page's per-scene timing table.
// The native program's soundtrack, as the capture tool mixes it through the offline device.
async function nativeSamples(capture, outDir) {
  const wav = path.join(outDir, 'native.wav');
  execFileSync(capture, ['--no-encode', '--wav', wav], { stdio: ['ignore', 'ignore', 'inherit'] });
  const bytes = await readFile(wav);
  let at = 12;
  while (at + 8 <= bytes.length && bytes.toString('latin1', at, at + 4) !== 'data')
    at += 8 + bytes.readUInt32LE(at + 4);
  const data = bytes.subarray(at + 8, at + 8 + bytes.readUInt32LE(at + 4));
  return new Uint16Array(data.buffer, data.byteOffset, data.length >> 1);
}

// 32-bit FNV-1a over 16-bit samples, as the page hashes its sound.
function soundHash(samples, count) {
  let h = 2166136261;
  for (let i = 0; i < count; ++i) h = Math.imul(h ^ samples[i], 16777619) >>> 0;
  return h;
}

async function framesCase(pageDir, goldenFile, outDir, capture) {
  const golden = (await readFile(goldenFile, 'utf8')).split('\n')
    .filter((l) => l.trim() && !l.startsWith('#'))
    .map((l) => { const [frame, scene, position, hash] = l.trim().split(/\s+/);
                  return { frame: +frame, scene: +scene, position: +position, hash }; });
  const fps = 60;  // the golden file's rate
  const { server, url } = await serve(pageDir);
  try {
    await withBrowser([], { width: 800, height: 600 }, async (context) => {
      const page = await context.newPage();
      watchConsole(page);
      await startShow(page, `${url}index.html?simulate=${fps}`);
      // A look at the page during scene 8 (the balls over the dot screen), for the record.
      await page.waitForFunction(() => window.driftlight.frames.length > 5600, null,
                                 { timeout: SHOW_GUARD_MS, polling: 200 }).catch(() => {});
      await page.screenshot({ path: path.join(outDir, 'web-simulated.png') });
      await page.waitForFunction(() => window.driftlight.state !== 'running', null,
                                 { timeout: SHOW_GUARD_MS, polling: 1000 });
      const result = await page.evaluate(() => {
        const d = window.driftlight;
        return { state: d.state, status: d.status, message: d.message, timing: d.timing,
                 sound: d.sound,
                 frames: d.frames.map((f) => [f.index, f.position, f.scene, f.hash]) };
      });
      check(result.state === 'ended' && result.status === 0,
            `the simulated show runs to its end (${result.state}, ${result.frames.length} frames)`);
      let same = 0;
      for (const g of golden) {
        const f = result.frames[g.frame];
        const ok = f && f[0] === g.frame && f[1] === g.position && f[2] === g.scene && f[3] === g.hash;
        if (!ok) console.log(`  frame ${g.frame}: native ${g.scene} ${g.position} ${g.hash}, ` +
                             `page ${f ? f.slice(1).join(' ') : 'none'}`);
        same += ok ? 1 : 0;
      }
      check(golden.length === 30 && same === golden.length,
            `${same} of ${golden.length} golden frames equal the native program's`);
      // The sound: every published hash that the native soundtrack reaches.
      const native = await nativeSamples(capture, outDir);
      const reached = result.sound.filter((s) => s.buffers * 2048 <= native.length);
      const equal = reached.filter((s) => soundHash(native, s.buffers * 2048) === s.hash);
      const last = reached.length ? reached[reached.length - 1].buffers * 2048 : 0;
      check(reached.length >= 10 && equal.length === reached.length,
            `the page's first ${last} samples (${(last / 44100).toFixed(1)} s) equal the native ` +
            `soundtrack at ${equal.length} of ${reached.length} checkpoints`);
      const rows = result.timing ? result.timing.rows : [];
      // The times themselves are a report (a fast machine's clock may show 0 ms); only their
      // shape is checked.
      check(rows.length === 11 && rows.every((r, i) => r.scene === i + 1 && r.frames > 1 &&
                                             r.median >= 0 && r.worst >= r.median),
            'the page reports a median and a worst frame time for each of the 11 scenes');
      if (result.timing) {
        console.log(`\nframe times in headless chromium (${fps} fps simulated):\n${result.timing.text}`);
        await writeFile(path.join(outDir, 'web-timing.txt'), result.timing.text + '\n');
      }
    });
  } finally {
    server.close();
  }
}

// The gentle show, chosen on the start screen, against the native gentle show's golden frames
// (50 frames a second, tests/show/golden_frames_gentle.txt).
async function gentleCase(pageDir, goldenFile, outDir) {
  const golden = (await readFile(goldenFile, 'utf8')).split('\n')
    .filter((l) => l.trim() && !l.startsWith('#')).map((l) => l.trim().split(/\s+/));
  const { server, url } = await serve(pageDir);
  try {
    await withBrowser([], { width: 800, height: 600 }, async (context) => {
      const page = await context.newPage();
      watchConsole(page);
      const warning = await page.goto(`${url}index.html?simulate=50`).then(() =>
        page.evaluate(() => document.getElementById('warning').textContent));
      check(/photosensitive/.test(warning) && /scene 8/.test(warning) && /gentle/.test(warning),
            'the start screen warns of the flashing and offers the gentle show');
      await startShow(page, `${url}index.html?simulate=50`, '#start-gentle');
      await page.waitForFunction(() => window.driftlight.state !== 'running', null,
                                 { timeout: SHOW_GUARD_MS, polling: 1000 });
      const frames = await page.evaluate(() => window.driftlight.frames.map(
        (f) => [f.index, f.scene, f.position, f.hash].join(' ')));
      const wrong = golden.filter((g) => frames[+g[0]] !== g.join(' '));
      for (const g of wrong) console.log(`  frame ${g[0]}: native ${g.join(' ')}, page ${frames[+g[0]]}`);
      check(golden.length >= 15 && wrong.length === 0,
            `${golden.length - wrong.length} of ${golden.length} golden frames of the gentle show ` +
            "equal the native program's");
    });
    // The start screen on a phone, upright and on its side: nothing to scroll, the buttons clear
    // of the edges.
    await withBrowser([], { width: 412, height: 915, scale: 2.6 }, async (context) => {
      const page = await context.newPage();
      watchConsole(page);
      await page.goto(`${url}index.html?simulate=50`);
      for (const [width, height] of [[412, 915], [915, 412]]) {
        await page.setViewportSize({ width, height });
        const fit = await page.evaluate(() => {
          const intro = document.getElementById('intro');
          const boxes = ['start', 'start-gentle'].map(
            (id) => document.getElementById(id).getBoundingClientRect());
          const edge = Math.min(...boxes.map((b) => Math.min(b.left, b.top,
            innerWidth - b.right, innerHeight - b.bottom)));
          return { scroll: Math.max(document.documentElement.scrollHeight, intro.scrollHeight),
                   view: innerHeight, edge };
        });
        await page.screenshot({ path: path.join(outDir, `web-start-${width}x${height}.png`) });
        check(fit.scroll <= fit.view && fit.edge >= 8,
              `the start screen fits ${width} x ${height} (content ${fit.scroll} px tall, ` +
              `buttons ${fit.edge.toFixed(0)} px from the edges)`);
      }
    });
  } finally {
    server.close();
  }
}

async function liveCase(pageDir, outDir) {
  const { server, url } = await serve(pageDir);
  try {
    // Wider than 4 : 3, so the picture has bars left and right.
    const size = { width: 1000, height: 500 };
    await withBrowser(['--autoplay-policy=no-user-gesture-required'], size, async (context) => {
      const page = await context.newPage();
      watchConsole(page);
      await page.addInitScript(installTap);
      await startShow(page, `${url}index.html`);
      await page.waitForFunction(() => window.driftlight.frames.length > 0, null,
                                 { timeout: GUARD_MS });
      const first = await page.evaluate(() => ({ t: performance.now(),
                                                 n: window.driftlight.frames.length }));
      // Sound: the analyser sees the soundtrack once the music has played a few rows (the peak
      // is read at every animation frame until it shows, or the guard passes).
      await page.waitForFunction(() => {
        const f = window.driftlight.frames;
        return f.length > 0 && f[f.length - 1].position > 20;
      }, null, { timeout: GUARD_MS }).catch(() => {});
      const loudest = await page.waitForFunction(() => {
        const a = window.driftlight.audio.analyser;
        const v = new Float32Array(a.fftSize);
        a.getFloatTimeDomainData(v);
        const peak = v.reduce((m, x) => Math.max(m, Math.abs(x)), 0);
        return peak > 0.01 ? peak : false;
      }, null, { timeout: GUARD_MS }).then((h) => h.jsonValue(), () => 0);
      // Frames keep coming: wait for a hundred more than there were (the rate is only reported).
      const kept = await page.waitForFunction((n) => window.driftlight.frames.length >= n + 100,
                                              first.n, { timeout: GUARD_MS })
        .then(() => true, () => false);
      const live = await page.evaluate(() => {
        const d = window.driftlight;
        const f = d.frames;
        // The row of the tick last mixed after b buffers of 2048 samples (ticks of 848 samples,
        // 6 ticks a row, 64 rows an order): what is heard is never ahead of it.
        const mixedRow = (b) => Math.floor((Math.ceil(b * 2048 / 848) - 1) / 6);
        const rowOf = (p) => Math.floor(p / 100) * 64 + p % 100;
        let behind = 0, mixed = 0, monotonic = true;
        for (let i = 0; i < f.length; ++i) {
          if (i > 0 && f[i].position < f[i - 1].position) monotonic = false;
          if (f[i].buffers === 0) continue;
          mixed += 1;
          if (rowOf(f[i].position) <= mixedRow(f[i].buffers)) behind += 1;
        }
        // Offsets of row changes, picture minus sound: each frame's time on screen (published
        // by the page) against the time its row began to be heard: the context frame at which
        // the tapped destination first carried sound is the soundtrack's first sample, and a
        // frame goes to the page's clock through the context's output timestamp. The same for the mixer's position (the tick last mixed,
        // what the page showed before it took what is heard).
        const c = d.audio.context;
        const ts = c.getOutputTimestamp ? c.getOutputTimestamp() : {contextTime: 0, performanceTime: 0};
        const valid = ts.contextTime > 0 && ts.performanceTime > 0;
        const now = performance.now();
        const heardAt = (frame) => valid
          ? ts.performanceTime + (frame / c.sampleRate - ts.contextTime) * 1000
          : now - (c.currentTime - (c.outputLatency || 0) - frame / c.sampleRate) * 1000;
        const startOf = (p) => window.tapSound + rowOf(p) * 6 * 848;
        const byIndex = new Map(f.map((x) => [x.index, x]));
        const shown = [], before = [];
        let last = null, lastMixed = null;
        for (const s of d.shown) {
          if (s.at === null) continue;
          if (last !== null && s.position !== last) shown.push(s.at - heardAt(startOf(s.position)));
          last = s.position;
          const fr = byIndex.get(s.index);
          if (!fr || fr.buffers === 0) continue;
          const row = mixedRow(fr.buffers);
          const p = Math.floor(row / 64) * 100 + row % 64;
          if (lastMixed !== null && p !== lastMixed) before.push(s.at - heardAt(startOf(p)));
          lastMixed = p;
        }
        return { t: performance.now(), n: f.length, monotonic, behind, mixed,
                 last: f[f.length - 1], rate: d.audio.context.sampleRate, shown, before,
                 tapped: window.tapSound !== undefined, valid,
                 latency: c.outputLatency, base: c.baseLatency,
                 box: document.getElementById('screen').getBoundingClientRect().toJSON() };
      });
      const seconds = (live.t - first.t) / 1000;
      const fps = (live.n - first.n) / seconds;
      check(live.rate === 44100, `Web Audio runs at ${live.rate} Hz`);
      check(loudest > 0.01, `the analyser sees the soundtrack (peak ${loudest.toFixed(3)})`);
      check(kept, `frames keep coming (${fps.toFixed(1)} a second over ${seconds.toFixed(1)} s)`);
      check(live.monotonic && live.last.position > 20 && live.mixed > 100 &&
            live.behind === live.mixed,
            `frames advance with the music: position ${live.last.position} after ` +
            `${live.last.buffers} buffers of 2048 samples; ${live.behind} of ${live.mixed} frames ` +
            'show a row no later than the tick last mixed');
      // The offset is a report; only a gross error (a median beyond 60 ms) fails.
      const stats = (v) => {
        const s = v.slice().sort((a, b) => a - b);
        const at = (q) => s[Math.min(s.length - 1, Math.floor(q * s.length))];
        return `median ${at(0.5).toFixed(1)} ms, p10 ${at(0.1).toFixed(1)} ms, ` +
               `p90 ${at(0.9).toFixed(1)} ms`;
      };
      console.log(`  output latency ${live.latency} s, base latency ${live.base} s, output ` +
                  `timestamp ${live.valid ? 'valid' : 'not valid (outputLatency used)'}`);
      if (live.before.length)
        console.log(`  the mixer's position (as before): ${live.before.length} row changes, ` +
                    `picture minus sound: ${stats(live.before)}`);
      if (live.shown.length) {
        const s = live.shown.slice().sort((a, b) => a - b);
        const median = s[Math.floor(s.length / 2)];
        check(live.tapped && Math.abs(median) <= 60,
              `page: ${live.shown.length} row changes, picture minus sound: ${stats(live.shown)}`);
      } else {
        check(false, 'the page published no row changes of frames on screen');
      }
      // The picture: 4 : 3, centred between bars, every other canvas row dark.
      const want = { x: 167, y: 0, width: 666, height: 500 };
      check(['x', 'y', 'width', 'height'].every((k) => Math.abs(live.box[k] - want[k]) < 1),
            `the canvas fills the centred 4 : 3 rectangle (${JSON.stringify(live.box)})`);
      const shot = decodePng(await page.screenshot({ path: path.join(outDir, 'web-live.png') }));
      check(brightest(shot, 0, 0, 160, 500) < 8 && brightest(shot, 840, 0, 1000, 500) < 8 &&
            brightest(shot, 170, 0, 830, 500) > 40,
            'the screenshot shows the picture between black bars');
      // The page hands over the show's picture at its own size; the scanlines have a row per
      // device pixel of the rectangle.
      const sizes = await page.evaluate(() => {
        const c = document.getElementById('screen'), l = document.getElementById('scanlines');
        return { w: c.width, h: c.height, rows: l.height, across: l.width };
      });
      check(sizes.w === 320 && sizes.h === 240 && sizes.across === 1 && sizes.rows === 500,
            `the canvas holds the 320 x 240 picture, the scanlines 500 rows (${JSON.stringify(sizes)})`);
      // Keys: f enters and leaves full screen, q ends the show.
      await page.keyboard.press('f');
      const entered = await page.waitForFunction(() => !!document.fullscreenElement, null,
                                                 { timeout: GUARD_MS }).then(() => true, () => false);
      await page.waitForTimeout(300);
      await page.screenshot({ path: path.join(outDir, 'web-fullscreen.png') });
      await page.keyboard.press('f');
      const left = await page.waitForFunction(() => !document.fullscreenElement, null,
                                              { timeout: GUARD_MS }).then(() => true, () => false);
      check(entered && left, 'f enters and leaves full screen');
      await page.keyboard.press('q');
      const ended = await page.waitForFunction(() => window.driftlight.state === 'ended', null,
                                               { timeout: GUARD_MS }).then(() => true, () => false);
      const after = await page.evaluate(() => ({
        status: window.driftlight.status,
        text: document.getElementById('message').hidden ? '' : window.driftlight.message }));
      check(ended && after.status === 0 && /ended/.test(after.text),
            `q ends the show and the page says so ("${after.text}")`);
      await page.screenshot({ path: path.join(outDir, 'web-ended.png') });

      // Escape and q on the start screen do nothing; Escape ends the show as q does.
      const again = await context.newPage();
      await again.goto(`${url}index.html`);
      await again.waitForFunction(() => window.driftlight && window.driftlight.state === 'ready',
                                  null, { timeout: GUARD_MS });
      await again.keyboard.press('Escape');
      await again.keyboard.press('q');
      await again.click('#start');
      await again.waitForFunction(() => window.driftlight.frames.length > 10 ||
                                  window.driftlight.state !== 'running', null,
                                  { timeout: GUARD_MS });
      check(await again.evaluate(() => window.driftlight.state) === 'running',
            'Escape and q on the start screen leave the show to start');
      await again.keyboard.press('Escape');
      check(await again.waitForFunction(() => window.driftlight.state === 'ended', null,
                                        { timeout: GUARD_MS }).then(() => true, () => false),
            'Escape ends the show');
      await again.close();

      // Touch: a tap shows the controls, End ends the show, and the end offers to play again.
      const touch = await context.newPage();
      await startShow(touch, `${url}index.html`);
      await touch.waitForFunction(() => window.driftlight.frames.length > 10, null,
                                  { timeout: GUARD_MS });
      const hidden = () => document.getElementById('controls').hidden;
      const before = await touch.evaluate(hidden);
      await touch.dispatchEvent('#screen', 'pointerup', { pointerType: 'touch', bubbles: true });
      const shown = !(await touch.evaluate(hidden));
      if (shown) await touch.click('#end');
      const over = await touch.waitForFunction(() => window.driftlight.state === 'ended', null,
                                               { timeout: GUARD_MS }).then(() => true, () => false);
      const offer = await touch.evaluate(() => !document.getElementById('again').hidden);
      check(before && shown && over && offer,
            'a tap shows the touch controls, End ends the show, the end offers to play again');
      await touch.close();

      // What a browser lacks is said in words, not as the program's failure codes: missing
      // outright (checked before anything loads), or refused when the show starts.
      const lacking = [
        ['WebAssembly', () => { delete window.WebAssembly; }, /WebAssembly/, false],
        ['Web Audio', () => { delete window.AudioContext; delete window.webkitAudioContext; },
         /Web Audio/, false],
        ['an audio context at 44,100 Hz',
         () => { window.AudioContext = function() { throw new Error('refused'); }; },
         /Web Audio output at 44,100 Hz/, true],
        ['a 2D canvas', () => { HTMLCanvasElement.prototype.getContext = () => null; },
         /2D canvas/, true],
      ];
      for (const [what, remove, words, click] of lacking) {
        const p = await context.newPage();
        await p.addInitScript(remove);
        if (click) {
          await startShow(p, `${url}index.html`);
          await p.waitForFunction(() => window.driftlight.state === 'failed', null,
                                  { timeout: GUARD_MS }).catch(() => {});
        } else {
          await p.goto(`${url}index.html`);
        }
        const text = await p.evaluate(() => document.getElementById('message').hidden ? ''
                                      : document.getElementById('message-text').textContent);
        check(words.test(text) && !/failure/.test(text), `without ${what}: "${text}"`);
        await p.close();
      }
    });
    // Served from an address that is not a secure context (a name, over http): the page says
    // so, and how to open it instead.
    const port = new URL(url).port;
    await withBrowser([`--host-resolver-rules=MAP driftlight.test 127.0.0.1`], size,
                      async (context) => {
      const p = await context.newPage();
      await startShow(p, `http://driftlight.test:${port}/index.html`);
      await p.waitForFunction(() => window.driftlight.state === 'failed', null,
                              { timeout: GUARD_MS }).catch(() => {});
      const text = await p.evaluate(() => window.driftlight.message);
      check(/from the disk/.test(text) && /https:/.test(text) && /localhost/.test(text),
            `from an insecure address: "${text}"`);
    });
    await pictureCase(url, outDir);
  } finally {
    server.close();
  }
}

// The page at device-pixel ratios 1, 2 and 2.6 in a 640 x 480 window, its frames stopped (the
// show waits for a display frame that never comes), against the window's look of the same
// picture: at whole-number scales (2 and 4) the same pixels; at 2.6 each device row as dark as
// its scanline row says.
async function pictureCase(url, outDir) {
  for (const scale of [1, 2, 2.6]) {
    await withBrowser(['--autoplay-policy=no-user-gesture-required'],
                      { width: 640, height: 480, scale }, async (context) => {
      const page = await context.newPage();
      watchConsole(page);
      await startShow(page, `${url}index.html`);
      await page.waitForFunction(() => window.driftlight.frames.length > 30, null,
                                 { timeout: GUARD_MS });
      const n = await page.evaluate(() => {
        window.requestAnimationFrame = () => 0;
        return window.driftlight.frames.length;
      });
      // One frame may still be under way; then the show waits for good.
      await page.waitForFunction((m) => window.driftlight.frames.length > m, n,
                                 { timeout: GUARD_MS });
      const data = await page.evaluate(() => {
        const c = document.getElementById('screen'), l = document.getElementById('scanlines');
        const pic = Array.from(c.getContext('2d').getImageData(0, 0, 320, 240).data);
        const light = Array.from(l.getContext('2d').getImageData(0, 0, 1, l.height).data);
        return { pic, light, rows: l.height };
      });
      const shot = decodePng(await page.screenshot({
        path: path.join(outDir, `web-picture-${scale}.png`) }));
      const W = shot.width, H = shot.height;
      const s = H / 240;
      let wrong = 0, worst = 0;
      for (let y = 0; y < H; ++y) {
        const ky = Math.min(239, Math.floor(s % 1 ? (y + 0.5) / s : y / s));
        const lit = s % 1 ? data.light[4 * y] / 255 : (y % s < (s + 1) >> 1 ? 1 : 0);
        for (let x = 0; x < W; x += s % 1 ? 7 : 1) {
          const kx = Math.floor(x / s);
          const got = shot.pixel(x, y);
          for (let ch = 0; ch < 3; ++ch) {
            const d = Math.abs(got[ch] - data.pic[4 * (ky * 320 + kx) + ch] * lit);
            worst = Math.max(worst, d);
            if (d > (s % 1 ? 3 : 1)) wrong += 1;
          }
        }
      }
      if (s % 1) {
        // Off whole scales the browser's choice of picture row may differ at a band's edge;
        // what must hold is the darkness, row by row.
        console.log(`  ratio ${scale}: ${W} x ${H}, ${wrong} channel values differ by more ` +
                    `than 3 (largest ${worst})`);
        check(data.rows === H, `ratio ${scale}: a scanline row per device row (${data.rows})`);
      } else {
        check(data.rows === H && wrong === 0,
              `ratio ${scale}: the page shows the window's picture at ${W} x ${H} ` +
              `(${wrong} channel values differ, largest by ${worst})`);
      }
    });
  }
}

// A tap beside the page's own output: whatever node the page connects to the speakers also
// feeds an audio worklet that posts every sample it hears back to the page, as 16-bit integers
// (the page plays s / 32768 for every 16-bit sample s, which a float holds exactly).
function installTap() {
  const source = `class Tap extends AudioWorkletProcessor {
    constructor() { super(); this.chunk = new Int16Array(8192); this.n = 0; this.started = false; }
    process(inputs) {
      if (!this.started) this.port.postMessage({start: currentFrame});
      this.started = true;
      const ch = inputs[0][0];
      for (let i = 0; i < 128; ++i) {
        if (!this.sound && ch && ch[i] !== 0) {
          this.sound = true;
          this.port.postMessage({sound: currentFrame + i});
        }
        this.chunk[this.n++] = ch ? Math.round(ch[i] * 32768) : 0;
        if (this.n === this.chunk.length) {
          this.port.postMessage(this.chunk, [this.chunk.buffer]);
          this.chunk = new Int16Array(8192);
          this.n = 0;
        }
      }
      return true;
    }
  }
  registerProcessor('test-tap', Tap);`;
  window.tapChunks = [];
  window.tapStart = null;    // the context's frame of the tap's first sample
  window.tapSound = undefined;  // and of the first sound it carried
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function(target, ...rest) {
    const r = connect.call(this, target, ...rest);
    if (target instanceof AudioDestinationNode && !this.context.tapped) {
      const from = this, context = this.context;
      context.tapped = context.audioWorklet.addModule(
        'data:text/javascript,' + encodeURIComponent(source)).then(() => {
        const tap = new AudioWorkletNode(context, 'test-tap');
        tap.port.onmessage = (e) => {
          if (e.data.start !== undefined) window.tapStart = e.data.start;
          else if (e.data.sound !== undefined) window.tapSound = e.data.sound;
          else window.tapChunks.push(e.data);
        };
        connect.call(from, tap);
        connect.call(tap, context.destination);  // silent, but keeps the tap pulled
      });
    }
    return r;
  };
}

// The native soundtrack: the module through the native player at the show's 52 ticks a second.
async function renderNative(modrender, mod, outDir, seconds) {
  const wav = path.join(outDir, 'native-render.wav');
  // The show's own level (--gain 0), over a render left by an earlier run.
  execFileSync(modrender,
               [mod, wav, '--seconds', String(seconds), '--tick-rate', '52', '--gain', '0', '--force'],
               { stdio: ['ignore', 'ignore', 'inherit'] });
  const bytes = await readFile(wav);
  let at = 12;
  while (at + 8 <= bytes.length && bytes.toString('latin1', at, at + 4) !== 'data')
    at += 8 + bytes.readUInt32LE(at + 4);
  const data = bytes.subarray(at + 8, at + 8 + bytes.readUInt32LE(at + 4));
  return new Int16Array(data.buffer.slice(data.byteOffset, data.byteOffset + data.length));
}

// Plays the page with its thread stalled for 150 ms every 2 s and records the speakers' samples
// for the given seconds of sound; compares them with the native soundtrack from the first
// sound on. A break is a run of samples that differ.
async function stalledRun(context, url, native, seconds, throttle) {
  const page = await context.newPage();
  watchConsole(page);
  await page.addInitScript(installTap);
  if (throttle > 1) {
    const cdp = await context.newCDPSession(page);
    await cdp.send('Emulation.setCPUThrottlingRate', { rate: throttle });
  }
  await startShow(page, url);
  await page.evaluate(() => {
    window.stalls = 0;
    setInterval(() => {
      const until = performance.now() + 150;
      while (performance.now() < until) {}
      window.stalls += 1;
    }, 2000);
  });
  const enough = (44100 * seconds) / 8192 + 1;
  await page.waitForFunction((n) => {
    const c = window.tapChunks;
    let first = -1;
    for (let i = 0; i < c.length && first < 0; ++i) if (c[i].some((v) => v !== 0)) first = i;
    return first >= 0 && c.length - first >= n;
  }, enough, { timeout: (seconds + 120) * 1000, polling: 1000 });
  const heard = await page.evaluate(() => {
    const c = window.tapChunks;
    const all = new Int16Array(c.length * 8192);
    c.forEach((chunk, i) => all.set(chunk, i * 8192));
    let first = 0;
    while (first < all.length && all[first] === 0) first += 1;
    const bytes = new Uint8Array(all.buffer, first * 2);
    let text = '';
    for (let i = 0; i < bytes.length; i += 32768)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
    return { lead: first, stalls: window.stalls, samples: btoa(text),
             firstSound: window.driftlight.firstSound, state: window.driftlight.state,
             message: window.driftlight.message };
  });
  await page.close();
  const raw = Buffer.from(heard.samples, 'base64');
  const got = new Int16Array(raw.buffer, raw.byteOffset, raw.length >> 1);
  let start = 0;
  while (start < native.length && native[start] === 0) start += 1;
  const count = Math.min(got.length, native.length - start);
  let breaks = 0, differ = 0, firstBreak = -1;
  for (let i = 0; i < count; ++i) {
    if (got[i] !== native[start + i]) {
      differ += 1;
      if (i === 0 || got[i - 1] === native[start + i - 1]) {
        breaks += 1;
        if (firstBreak < 0) firstBreak = i;
      }
    }
  }
  return { ...heard, samples: undefined, count, breaks, differ, firstBreak };
}

function describe(r) {
  return `${(r.count / 44100).toFixed(1)} s of sound, ` +
         `${r.stalls} stalls of 150 ms: ${r.breaks} breaks, ${r.differ} samples differ` +
         (r.firstBreak >= 0 ? ` (first at ${(r.firstBreak / 44100).toFixed(3)} s)` : '');
}

async function soundCase(pageDir, outDir, modrender, mod, throttles, seconds) {
  const native = await renderNative(modrender, mod, outDir, seconds + 20);
  const { server, url } = await serve(pageDir);
  try {
    await withBrowser([], { width: 800, height: 600 }, async (context) => {
      for (const throttle of throttles) {
        const r = await stalledRun(context, `${url}index.html`, native, seconds, throttle);
        const what = `served, CPU throttling ${throttle}: ${describe(r)}; ` +
                     `click to first sound ${r.firstSound.toFixed(0)} ms`;
        if (throttles.length > 1) console.log(what);
        else check(r.count >= seconds * 44100 && r.breaks === 0, what);
      }
      if (throttles.length > 1) return;
      // The single file opened from the disk, with no flag that widens what a file may load.
      const single = pathToFileURL(path.join(pageDir, 'driftlight.html')).href;
      const r = await stalledRun(context, single, native, seconds, 1);
      check(r.count >= seconds * 44100 && r.breaks === 0,
            `driftlight.html from file://: ${describe(r)}`);
    });
  } finally {
    server.close();
  }
}

// The page's main-thread CPU time per frame (CDP's Performance metrics in thread time: all its
// tasks, the browser's own work on the thread included) and its frames a second, live, with the picture's rectangle
// at 640 x 480, 1440 x 1080 and 2880 x 2160 device pixels and in a 1920 x 1080 window at ratio 2.
// A report: the figures depend on the machine.
async function presentMeasure(pageDir) {
  const { server, url } = await serve(pageDir);
  const sizes = [{ width: 640, height: 480, scale: 1 }, { width: 1440, height: 1080, scale: 1 },
                 { width: 1440, height: 1080, scale: 2 }, { width: 1920, height: 1080, scale: 2 }];
  try {
    for (const size of sizes) {
      await withBrowser(['--autoplay-policy=no-user-gesture-required'], size, async (context) => {
        const page = await context.newPage();
        const cdp = await context.newCDPSession(page);
        // The thread's own CPU time, which other processes on a busy machine cannot lengthen.
        await cdp.send('Performance.enable', { timeDomain: 'threadTicks' });
        await startShow(page, `${url}index.html`);
        await page.waitForFunction(() => window.driftlight.frames.length > 60, null,
                                   { timeout: GUARD_MS });
        const sample = async () => {
          const m = (await cdp.send('Performance.getMetrics')).metrics;
          const get = (name) => m.find((x) => x.name === name).value;
          const d = await page.evaluate(() => ({ n: window.driftlight.frames.length,
                                                 t: performance.now() }));
          return { task: get('TaskDuration'), script: get('ScriptDuration'), ...d };
        };
        const a = await sample();
        await page.waitForFunction((n) => window.driftlight.frames.length >= n + 300, a.n,
                                   { timeout: GUARD_MS });
        const b = await sample();
        const frames = b.n - a.n;
        const work = await page.evaluate((n) => {
          const w = window.driftlight.frames.slice(n).map((f) => f.work).sort((x, y) => x - y);
          return w[w.length >> 1];
        }, a.n);
        console.log(`${size.width} x ${size.height} at ratio ${size.scale} ` +
                    `(${size.width * size.scale} x ${size.height * size.scale} device pixels): ` +
                    `${(frames / ((b.t - a.t) / 1000)).toFixed(1)} frames a second; main thread CPU ` +
                    `${(1000 * (b.task - a.task) / frames).toFixed(2)} ms a frame ` +
                    `(script ${(1000 * (b.script - a.script) / frames).toFixed(2)} ms); ` +
                    `published work median ${work.toFixed(2)} ms`);
      });
    }
  } finally {
    server.close();
  }
}

const [mode, ...args] = process.argv.slice(2);
try {
  if (mode === 'frames' && args.length === 4) {
    await mkdir(args[2], { recursive: true });
    await framesCase(path.resolve(args[0]), args[1], args[2], args[3]);
  } else if (mode === 'gentle' && args.length === 3) {
    await mkdir(args[2], { recursive: true });
    await gentleCase(path.resolve(args[0]), args[1], args[2]);
  } else if (mode === 'live' && args.length === 2) {
    await mkdir(args[1], { recursive: true });
    await liveCase(path.resolve(args[0]), args[1]);
  } else if (mode === 'present' && args.length === 1) {
    await presentMeasure(path.resolve(args[0]));
  } else if ((mode === 'sound' || mode === 'measure') && args.length === 4) {
    await mkdir(args[1], { recursive: true });
    if (mode === 'sound') {
      await soundCase(path.resolve(args[0]), args[1], args[2], args[3], [1], 30);
    } else {
      await presentMeasure(path.resolve(args[0]));
      await soundCase(path.resolve(args[0]), args[1], args[2], args[3], [1, 4, 6], 60);
    }
  } else {
    console.log('usage: web_test.mjs frames PAGE_DIR GOLDEN OUT_DIR CAPTURE | ' +
                'gentle PAGE_DIR GENTLE_GOLDEN OUT_DIR | live PAGE_DIR OUT_DIR | ' +
                'sound|measure PAGE_DIR OUT_DIR MODRENDER MOD | present PAGE_DIR');
    process.exit(2);
  }
} catch (e) {
  console.log(`FAIL  ${e.stack || e}`);
  failures += 1;
}
process.exit(failures ? 1 : 0);
