// opl2play.mjs in Chromium against `opl2tool render --rate native`: whole
// songs, settings, seeks, mutes and the errors of things that are not songs.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { join } from 'node:path';
import { PAGE_TO_BASE64, RATE, SITE, assertSamplesEqual, fromBase64, launchBrowser, nativeRender,
  serveSite } from './helpers.mjs';

let site;
let browser;
let page;

before(async () => {
  site = await serveSite();
  browser = await launchBrowser();
  page = await browser.newPage();
  await page.goto(site.url);
  await page.evaluate(async (toBase64) => {
    const { default: createOpl2 } = await import('/opl2play.mjs');
    globalThis.t = {
      opl2: await createOpl2(),
      toBase64: eval(toBase64),
      bytes: async (name) => new Uint8Array(await (await fetch(`/examples/${name}`)).arrayBuffer()),
    };
  }, PAGE_TO_BASE64);
});

after(async () => {
  await browser?.close();
  await site?.close();
});

const example = (name) => join(SITE, 'examples', name);

/** Opens an example in the page and reads `frames` samples (all: -1) after seeking to `at`. */
async function readInPage(name, settings, { at = 0, frames = -1, mute = [] } = {}) {
  const r = await page.evaluate(async ({ name, settings, at, frames, mute }) => {
    const song = t.opl2.open(await t.bytes(name), settings);
    try {
      for (const c of mute) song.mute(c, true);
      const seeked = at > 0 ? song.seek(at) : true;
      const pcm = song.read(frames >= 0 ? frames : 600 * 49716);
      return { seeked, position: song.position, duration: song.duration, pcm: t.toBase64(pcm) };
    } finally {
      song.close();
    }
  }, { name, settings, at, frames, mute });
  return { ...r, pcm: fromBase64(r.pcm) };
}

test('every example read whole equals the native render, and its duration is its length', async () => {
  for (const name of ['demo.song', 'minuet.song', 'round.song']) {
    const want = nativeRender(example(name));
    const got = await readInPage(name, { sampleRate: 0, loops: 2, fade: 8, maxSeconds: 600 });
    assertSamplesEqual(assert, got.pcm, want, name);
    assert.equal(Math.round(got.duration * RATE), want.length, `${name}: duration`);
  }
});

test('loops, fade and the cap reach the library as the render tool takes them', async () => {
  const want = nativeRender(example('demo.song'), { loops: 1, fade: 3, seconds: 20 });
  const got = await readInPage('demo.song', { loops: 1, fade: 3, maxSeconds: 20 });
  assertSamplesEqual(assert, got.pcm, want, 'demo, 1 loop, 3 s fade');
  const capped = nativeRender(example('demo.song'), { loops: 5, seconds: 7.5 });
  const gotCapped = await readInPage('demo.song', { loops: 5, maxSeconds: 7.5 });
  assertSamplesEqual(assert, gotCapped.pcm, capped, 'demo capped at 7.5 s');
});

test('a seek lands on the sample and reads on as an uninterrupted read would', async () => {
  const want = nativeRender(example('demo.song'));
  for (const at of [12.345, 3, 31.9]) {
    const got = await readInPage('demo.song', {}, { at, frames: 30000 });
    const frame = Math.round(at * RATE);
    assert.equal(got.seeked, true);
    assert.equal(Math.round(got.position * RATE), frame + got.pcm.length);
    assertSamplesEqual(assert, got.pcm, want.subarray(frame, frame + 30000), `after a seek to ${at} s`);
  }
  const back = await page.evaluate(async () => {
    const song = t.opl2.open(await t.bytes('demo.song'));
    song.read(49716 * 10);
    const ok = song.seek(2);
    const tooFar = song.seek(song.duration + 1);
    const negative = song.seek(-1);
    const pcm = t.toBase64(song.read(5000));
    song.close();
    return { ok, tooFar, negative, pcm };
  });
  assert.deepEqual([back.ok, back.tooFar, back.negative], [true, false, false]);
  const frame = Math.round(2 * RATE);
  assertSamplesEqual(assert, fromBase64(back.pcm), want.subarray(frame, frame + 5000),
    'back to 2 s after a refused seek');
});

test('muting leaves a silent channel out untouched and a sounding one out for good', async () => {
  // In the round, channel 3 only sets the tempo and never sounds.
  const want = nativeRender(example('round.song'));
  const silentMuted = await readInPage('round.song', {}, { mute: [3] });
  assertSamplesEqual(assert, silentMuted.pcm, want, 'round with its silent channel muted');
  const leadMuted = await readInPage('round.song', {}, { mute: [0] });
  assert.equal(leadMuted.pcm.length, want.length);
  assert.notEqual(leadMuted.pcm.findIndex((s, i) => s !== want[i]), -1, 'muting channel 0 changes nothing');
  const allMuted = await readInPage('demo.song', {}, { frames: 100000, mute: [0, 1, 2, 3, 4, 5, 6, 7, 8] });
  assert.equal(allMuted.pcm.length, 100000);
  assert.ok(allMuted.pcm.every((s) => s === 0), 'every channel muted, yet a sample sounds');
});

test('what is not a song, and settings out of range, throw an Error with the reason', async () => {
  const errors = await page.evaluate(() => {
    const attempt = (bytes, settings) => {
      try {
        t.opl2.open(bytes, settings).close();
        return 'opened';
      } catch (e) {
        return `${e.constructor.name}: ${e.message}`;
      }
    };
    return [
      attempt(new TextEncoder().encode('These are my notes, not a song.\n')),
      attempt(new Uint8Array(0)),
      attempt(new Uint8Array(4096)),
      attempt(new Uint8Array([2]), { loops: -3 }),
      attempt(new Uint8Array([2]), { sampleRate: 44100 }),
      attempt('a string'),
    ];
  });
  assert.match(errors[0], /^Error: not a song/);
  assert.match(errors[1], /^Error: .+/);
  assert.match(errors[2], /^Error: not a song/);
  assert.match(errors[3], /^Error: loops must be/);
  assert.match(errors[4], /^Error: .*only the chip's own rate/);
  assert.match(errors[5], /^TypeError: /);
});
