// The page's audio worklet, rendered deterministically in an
// OfflineAudioContext at the chip's rate: its samples are the native render's.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { join } from 'node:path';
import { RATE, SITE, assertSamplesEqual, fromBase64, nativeRender,
  openReadyPage } from './helpers.mjs';

let site;
let browser;
let page;

before(async () => {
  ({ site, browser, page } = await openReadyPage());
});

after(async () => {
  await browser?.close();
  await site?.close();
});

/**
 * Renders `seconds` of an example through the worklet the page uses, as the
 * page starts it (processor options), in an OfflineAudioContext.
 */
async function renderWorklet(name, seconds, { position = 0, mask = 0, settings = {} } = {}) {
  const r = await page.evaluate(async ({ name, seconds, position, mask, settings }) => {
    const rate = 49716;
    const ctx = new OfflineAudioContext(1, Math.round(seconds * rate), rate);
    await ctx.audioWorklet.addModule('/opl2play-worklet.js');
    const bytes = new Uint8Array(await (await fetch(`/examples/${name}`)).arrayBuffer());
    const errors = [];
    const node = new AudioWorkletNode(ctx, 'opl2play', {
      numberOfInputs: 0,
      outputChannelCount: [1],
      processorOptions: {
        wasmModule: opl2page.player.wasmModule,
        bytes,
        settings: { sampleRate: 0, loops: 2, fade: 8, maxSeconds: 600, ...settings },
        playing: true,
        mask,
        position,
      },
    });
    node.port.onmessage = (e) => e.data.type === 'error' && errors.push(e.data.message);
    node.onprocessorerror = () => errors.push('processor error');
    node.connect(ctx.destination);
    const buffer = await ctx.startRendering();
    return { errors, pcm: toBase64(buffer.getChannelData(0)) };
  }, { name, seconds, position, mask, settings });
  assert.deepEqual(r.errors, []);
  return { ...r, pcm: fromBase64(r.pcm) };
}

const example = (name) => join(SITE, 'examples', name);

test('the worklet plays the first 5 s of every example exactly as the native render', async () => {
  for (const name of ['demo.song', 'minuet.song', 'round.song']) {
    // No fade before the cut: the worklet plays on past it.
    const want = nativeRender(example(name), { seconds: 5, fade: 0 });
    const got = await renderWorklet(name, 5);
    assertSamplesEqual(assert, got.pcm.subarray(0, want.length), want, name);
    assert.ok(want.some((s) => s !== 0), `${name}: the render is silent`);
  }
});

test('started at a position, the worklet plays on from that sample', async () => {
  const want = nativeRender(example('demo.song'));
  const at = 17.25;
  const got = await renderWorklet('demo.song', 3, { position: at });
  const frame = Math.round(at * RATE);
  assertSamplesEqual(assert, got.pcm, want.subarray(frame, frame + got.pcm.length), 'from 17.25 s');
});

test('the worklet ends with the song and then plays silence', async () => {
  const want = nativeRender(example('minuet.song'));
  const seconds = want.length / RATE + 1;
  const got = await renderWorklet('minuet.song', seconds, { settings: { loops: 2 } });
  assertSamplesEqual(assert, got.pcm.subarray(0, want.length), want, 'minuet');
  assert.ok(got.pcm.subarray(want.length).every((s) => s === 0), 'sound after the end');
});

test('a channel muted by the worklet: silent channel untouched, all muted silent', async () => {
  const want = nativeRender(example('round.song'), { seconds: 6, fade: 0 });
  const silent = await renderWorklet('round.song', 6, { mask: 1 << 3 });
  assertSamplesEqual(assert, silent.pcm.subarray(0, want.length), want, 'round, channel 3 muted');
  const all = await renderWorklet('demo.song', 3, { mask: 0x1ff });
  assert.ok(all.pcm.every((s) => s === 0), 'every channel muted, yet a sample sounds');
});
