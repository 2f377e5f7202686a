// Plays a web demo in a headless browser as a viewer would, and writes what
// was seen and heard into OUT: report.json (with how high the loading
// screen's level stood at most in the frames the page showed while loading),
// and frame-N.png for each frame asked for.
//
//   node play_page.mjs --browser chromium|firefox --page DEMO.html --out OUT
//       [--size 640x360] [--capture-ms 5000,20000] [--grid-ms 50]
//       [--escape] [--click] [--reference-wav sound.wav] [--timeout-s 240]
//       [--unthrottled] [--angle swiftshader|gl]
//
// --capture-ms: for each time after the music started, the first frame drawn
// at or after it whose time lies within 4 ms of a multiple of --grid-ms (so
// that an offline render at 1000/grid frames per second has a frame at the
// same moment). --escape presses Escape after the last capture; without it the
// page plays to its end. --click starts the demo with a click, as a viewer
// whose browser blocks sound until then; otherwise the browser allows it.
// --unthrottled lets the browser draw as fast as it can, not at the
// display's 60 Hz (for measuring, as the desktop player in Xvfb does).
// --angle gl has Chromium draw WebGL through the display's OpenGL (Mesa's
// llvmpipe in an Xvfb, as the desktop player draws) rather than SwiftShader.
// Exit status 0 once the report is written, whatever it says; 77 when the
// browser cannot be started here (the reason on standard error).
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launch } from './browsers.mjs';

const fftSize = 4096;

function options(argv) {
  const o = { browser: 'chromium', size: '640x360', captureMs: [], gridMs: 50, escape: false,
              click: false, timeoutS: 240, angle: 'swiftshader' };
  for (let i = 2; i < argv.length; ++i) {
    const a = argv[i];
    const value = () => argv[++i];
    if (a === '--browser') o.browser = value();
    else if (a === '--page') o.page = path.resolve(value());
    else if (a === '--out') o.out = path.resolve(value());
    else if (a === '--size') o.size = value();
    else if (a === '--capture-ms') o.captureMs = value().split(',').filter(Boolean).map(Number);
    else if (a === '--grid-ms') o.gridMs = Number(value());
    else if (a === '--escape') o.escape = true;
    else if (a === '--click') o.click = true;
    else if (a === '--unthrottled') o.unthrottled = true;
    else if (a === '--angle') o.angle = value();
    else if (a === '--reference-wav') o.referenceWav = path.resolve(value());
    else if (a === '--timeout-s') o.timeoutS = Number(value());
    else throw new Error('unknown argument ' + a);
  }
  if (!o.page || !o.out) throw new Error('--page and --out are needed');
  return o;
}

// In the page before its own script: every node that plays to the speakers
// plays into a tap too, an audio worklet that passes on every sample (down-
// mixed to mono) once the demo runs, whatever the page's main thread does.
function tapSound() {
  const heard = { chunks: [], rate: 0, tap: null };
  window.__qhHeard = heard;
  const processor = `registerProcessor('qh-tap', class extends AudioWorkletProcessor {
    constructor() { super(); this.on = false; this.port.onmessage = (e) => { this.on = e.data; }; }
    process(inputs) {
      const input = inputs[0];
      if (this.on && input.length) {
        const mono = new Float32Array(input[0].length);
        for (const channel of input) channel.forEach((v, i) => { mono[i] += v / input.length; });
        this.port.postMessage(mono, [mono.buffer]);
      }
      return true;
    }
  });`;
  const url = 'data:text/javascript;base64,' + btoa(processor);  // a file:// page's blob: is refused
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (target, ...rest) {
    const result = connect.call(this, target, ...rest);
    if (target instanceof AudioDestinationNode && !heard.rate) {
      const context = this.context, source = this;
      heard.rate = context.sampleRate;
      context.audioWorklet.addModule(url).then(() => {
        const tap = new AudioWorkletNode(context, 'qh-tap');
        const silent = context.createGain();
        silent.gain.value = 0;
        tap.port.onmessage = (e) => heard.chunks.push(e.data);
        connect.call(source, tap);
        connect.call(tap, silent);
        connect.call(silent, context.destination);
        heard.tap = tap;
        if (window.__qhPlaying) tap.port.postMessage(true);
      });
    }
    return result;
  };
}

// In the page before its own script: after each animation frame until the
// demo's first, how high the loading screen's level (its white or yellow)
// stands in what the frame drew, from 0 (none) to 1 (the canvas's top); the
// highest is kept. The player's steps run in animation frames, so this is
// what the viewer saw, read before the browser clears it for the next.
function watchLoading() {
  const loading = { frames: 0, highest: 0 };
  window.__qhLoading = loading;
  const small = document.createElement('canvas');
  small.width = 160;
  small.height = 90;
  const request = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) => request((time) => {
    callback(time);
    const canvas = document.getElementById('canvas');
    if (window.__qhPlaying || !canvas || !canvas.width || !canvas.height) return;
    const context = small.getContext('2d', { willReadFrequently: true });
    context.imageSmoothingEnabled = false;
    context.drawImage(canvas, 0, 0, small.width, small.height);
    const pixels = context.getImageData(0, 0, small.width, small.height).data;
    loading.frames += 1;
    for (let i = 0; i < pixels.length; i += 4) {
      const [r, g, b] = [pixels[i], pixels[i + 1], pixels[i + 2]];
      if (r > 240 && g > 240 && (b > 240 || b < 15)) {
        loading.highest = Math.max(loading.highest, 1 - Math.floor(i / 4 / small.width) / small.height);
        return;
      }
    }
  });
}

// In the page: the frames asked for, taken in the frame's own callback,
// while the canvas still holds what was just drawn.
function watchFrames(captureMs, gridMs) {
  const seen = { first: null, frames: 0, lastMs: 0, lastBeat: 0, taken: [] };
  window.__qhSeen = seen;
  quillharbor.onframe = function (beat, ms, canvas) {
    if (!window.__qhPlaying && window.__qhHeard.tap) window.__qhHeard.tap.port.postMessage(true);
    window.__qhPlaying = true;
    if (seen.first === null) seen.first = performance.now();
    seen.frames += 1;
    seen.lastMs = ms;
    seen.lastBeat = beat;
    seen.audioState = Module.SDL2 && Module.SDL2.audioContext ? Module.SDL2.audioContext.state : 'none';
    for (const target of captureMs) {
      if (ms < target || seen.taken.some((t) => t.target === target)) continue;
      const off = ms % gridMs;
      if (Math.min(off, gridMs - off) > 4 && ms < target + 4000) continue;
      seen.taken.push({ target, ms, beat, png: canvas.toDataURL('image/png') });
    }
  };
}

// Where the sound's power lies on average: the power-weighted mean frequency
// of the summed spectra, from 20 Hz up.
function spectralCentroid(power, sampleRate) {
  let weighted = 0, total = 0;
  for (let i = 0; i < power.length; ++i) {
    const hz = i * sampleRate / fftSize;
    if (hz < 20) continue;
    weighted += hz * power[i];
    total += power[i];
  }
  return total > 0 ? weighted / total : 0;
}

// Loudness and pitch of a mono sound: RMS of every sample, and the centroid
// of the summed spectra of Blackman-windowed windows every 100 ms. The page
// runs it on what it heard, node on the reference.
function measureSound(mono, rate) {
  let sumSquares = 0;
  for (const v of mono) sumSquares += v * v;
  const power = new Array(fftSize / 2).fill(0);
  let windows = 0;
  for (let start = 0; start + fftSize <= mono.length; start += Math.round(rate / 10), ++windows) {
    const re = new Float64Array(fftSize), im = new Float64Array(fftSize);
    for (let i = 0; i < fftSize; ++i) {
      const x = i / fftSize;
      re[i] = mono[start + i] * (0.42 - 0.5 * Math.cos(2 * Math.PI * x) + 0.08 * Math.cos(4 * Math.PI * x));
    }
    fft(re, im);
    for (let i = 0; i < fftSize / 2; ++i) power[i] += re[i] * re[i] + im[i] * im[i];
  }
  return { windows, rms: Math.sqrt(sumSquares / Math.max(1, mono.length)),
           centroid_hz: spectralCentroid(power, rate) };
}

// A 16-bit WAV file as mono samples (channels averaged, as the tap does).
function readWav(file) {
  const b = fs.readFileSync(file);
  let at = 12, rate = 44100, channels = 2, data = null;
  while (at + 8 <= b.length) {
    const id = b.toString('ascii', at, at + 4), size = b.readUInt32LE(at + 4);
    if (id === 'fmt ') { channels = b.readUInt16LE(at + 10); rate = b.readUInt32LE(at + 12); }
    if (id === 'data') data = b.subarray(at + 8, at + 8 + size);
    at += 8 + size + (size & 1);
  }
  const frames = Math.floor(data.length / (2 * channels));
  const mono = new Float32Array(frames);
  for (let i = 0; i < frames; ++i) {
    let s = 0;
    for (let c = 0; c < channels; ++c) s += data.readInt16LE((i * channels + c) * 2) / 32768;
    mono[i] = s / channels;
  }
  return { mono, rate };
}

function fft(re, im) {  // in place, radix 2
  const n = re.length;
  for (let i = 1, j = 0; i < n; ++i) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) { [re[i], re[j]] = [re[j], re[i]]; [im[i], im[j]] = [im[j], im[i]]; }
  }
  for (let len = 2; len <= n; len <<= 1) {
    const angle = -2 * Math.PI / len;
    for (let i = 0; i < n; i += len) {
      for (let k = 0; k < len / 2; ++k) {
        const wr = Math.cos(angle * k), wi = Math.sin(angle * k);
        const xr = re[i + k + len / 2] * wr - im[i + k + len / 2] * wi;
        const xi = re[i + k + len / 2] * wi + im[i + k + len / 2] * wr;
        re[i + k + len / 2] = re[i + k] - xr; im[i + k + len / 2] = im[i + k] - xi;
        re[i + k] += xr; im[i + k] += xi;
      }
    }
  }
}

async function main() {
  const o = options(process.argv);
  fs.mkdirSync(o.out, { recursive: true });
  let browser;
  try {
    browser = await launch(o);
  } catch (e) {
    console.error(`${o.browser} does not start here: ${String(e.message).split('\n')[0]}`);
    process.exit(77);
  }
  const report = { browser: o.browser, version: await browser.version(), requests: [], console: [] };
  const deadline = Date.now() + o.timeoutS * 1000;
  try {
    const page = await browser.newPage();
    const [width, height] = o.size.split('x').map(Number);
    await page.setViewport({ width, height, deviceScaleFactor: 1 });
    const pageUrl = pathToFileURL(o.page).href;
    page.on('request', (r) => {
      const url = r.url();
      if (url !== pageUrl && !url.startsWith('data:') && !url.startsWith('blob:')) report.requests.push(url);
    });
    page.on('console', (m) => { if (report.console.length < 400) report.console.push(m.text()); });
    page.on('pageerror', (e) => report.console.push('page error: ' + e.message));
    await page.evaluateOnNewDocument(tapSound);
    await page.evaluateOnNewDocument(watchLoading);
    await page.goto(pageUrl, { waitUntil: 'domcontentloaded' });
    await page.evaluate(watchFrames, o.captureMs, o.gridMs);

    const state = () => page.evaluate(() => ({
      message: document.getElementById('message').textContent,
      isReport: document.getElementById('message').className === 'report',
      seen: { ...window.__qhSeen, taken: window.__qhSeen.taken.map((t) => t.target) },
    }));
    const wait = async (what, done) => {
      for (;;) {
        const s = await state();
        if (done(s)) return s;
        if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}; the page says "${s.message}"`);
        await new Promise((r) => setTimeout(r, 200));
      }
    };
    const ended = (s) => s.isReport || /ended/.test(s.message);
    if (o.click) {
      const s = await wait('the request for a click', (s) => /Click/.test(s.message) || ended(s));
      report.asked_for_gesture = /Click/.test(s.message);
      await page.mouse.click(width / 2, height / 2);
    }
    let s = await wait('the frames asked for', (s) => s.seen.taken.length === o.captureMs.length || ended(s));
    if (o.escape && !ended(s)) {
      await page.focus('canvas');
      await page.keyboard.press('Escape');
    }
    s = await wait('the end', ended);
    report.message = s.message;
    report.report = s.isReport ? s.message : null;
    report.frames_drawn = s.seen.frames;
    report.last_beat = s.seen.lastBeat;
    report.last_ms = s.seen.lastMs;
    report.first_frame_ms = s.seen.first;
    const taken = await page.evaluate(() => window.__qhSeen.taken);
    report.frames = taken.map((t, i) => {
      const file = `frame-${i}.png`;
      fs.writeFileSync(path.join(o.out, file), Buffer.from(t.png.split(',')[1], 'base64'));
      return { target_ms: t.target, ms: t.ms, beat: t.beat, file };
    });
    report.audio_state = s.seen.audioState;
    report.loading = await page.evaluate(() => window.__qhLoading);
    report.sound = await page.evaluate(`(() => {
      const fftSize = ${fftSize};
      ${fft}\n${spectralCentroid}\n${measureSound}
      const h = window.__qhHeard;
      const mono = new Float32Array(h.chunks.reduce((n, c) => n + c.length, 0));
      h.chunks.reduce((at, c) => { mono.set(c, at); return at + c.length; }, 0);
      return measureSound(mono, h.rate);
    })()`);
  } catch (e) {
    report.error = e.message;
  } finally {
    await browser.close();
  }
  if (o.referenceWav) {
    const { mono, rate } = readWav(o.referenceWav);
    report.reference = measureSound(mono, rate);
  }
  fs.writeFileSync(path.join(o.out, 'report.json'), JSON.stringify(report, null, 1));
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
