// What the browser tests share: the site served on loopback, headless
// Chromium, and the native renders the browser's samples must equal.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { chromium } from 'playwright-core';

const here = new URL('.', import.meta.url).pathname;
export const SITE = process.env.OPL2_SITE || join(here, '../../build-web/site');
export const BIN = process.env.OPL2_BIN_DIR || join(here, '../../build/bin');
export const RATE = 3579545 / 72;

const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.css': 'text/css', '.json': 'application/json',
};

/** A static server of the site on 127.0.0.1; resolves to { url, close }. */
export function serveSite(root = SITE) {
  const server = createServer((req, res) => {
    const path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname));
    let body;
    try {
      body = readFileSync(join(root, path.endsWith('/') ? `${path}index.html` : path));
    } catch {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { 'content-type': TYPES[extname(path) || '.html'] || 'application/octet-stream' });
    res.end(body);
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      resolve({
        url: `http://127.0.0.1:${server.address().port}/`,
        close: () => new Promise((done) => server.close(done)),
      });
    });
  });
}

/** Debian's chromium, headless, with no network of its own. */
export function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--autoplay-policy=user-gesture-required'],
  });
}

/** The mono 16-bit samples of a .wav file. */
export function readWav(path) {
  const b = readFileSync(path);
  let at = 12;
  while (at + 8 <= b.length) {
    const id = b.toString('ascii', at, at + 4);
    const size = b.readUInt32LE(at + 4);
    if (id === 'data') {
      return new Int16Array(b.buffer.slice(b.byteOffset + at + 8, b.byteOffset + at + 8 + size));
    }
    at += 8 + size + (size & 1);
  }
  throw new Error(`${path}: no data chunk`);
}

/** `opl2tool render SONG --rate native` with the given loops, fade and cap. */
export function nativeRender(song, { loops = 2, fade = 8, seconds = 600 } = {}) {
  const dir = mkdtempSync(join(tmpdir(), 'opl2web-'));
  try {
    const out = join(dir, 'out.wav');
    execFileSync(join(BIN, 'opl2tool'), ['render', song, '-o', out, '--rate', 'native',
      '--loops', String(loops), '--fade', String(fade), '--seconds', String(seconds)]);
    return readWav(out);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

/** Samples sent out of the page as base64 of little-endian int16. */
export function fromBase64(text) {
  const b = Buffer.from(text, 'base64');
  return new Int16Array(b.buffer.slice(b.byteOffset, b.byteOffset + b.length));
}

/** In the page: an Int16Array (or -1..1 floats, scaled by 32768) as base64. */
export const PAGE_TO_BASE64 = `(samples) => {
  const s = samples instanceof Int16Array ? samples
    : Int16Array.from(samples, (f) => Math.round(f * 32768));
  let text = '';
  const bytes = new Uint8Array(s.buffer, s.byteOffset, s.byteLength);
  for (let i = 0; i < bytes.length; i += 0x8000) {
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  }
  return btoa(text);
}`;

/** The first index where two sample arrays differ, or -1 when they are equal. */
export function firstDifference(a, b) {
  const n = Math.min(a.length, b.length);
  for (let i = 0; i < n; ++i) if (a[i] !== b[i]) return i;
  return a.length === b.length ? -1 : n;
}

/** Fails with where and how two sample arrays differ. */
export function assertSamplesEqual(assert, got, want, what) {
  const at = firstDifference(got, want);
  assert.equal(at, -1, at < 0 ? '' : `${what}: first difference at sample ${at} of ` +
    `${got.length} (want ${want.length}): got ${got[at]}, want ${want[at]}`);
}

/**
 * The site served, a browser and the page loaded and ready, with the page's
 * `toBase64` for taking samples out: { site, browser, page }.
 */
export async function openReadyPage() {
  const site = await serveSite();
  const browser = await launchBrowser();
  const page = await browser.newPage();
  await page.goto(site.url);
  await page.waitForSelector('body[data-ready]');
  await page.evaluate((toBase64) => {
    globalThis.toBase64 = eval(toBase64);
  }, PAGE_TO_BASE64);
  return { site, browser, page };
}
