// The page as a person uses it, in headless Chromium with a live AudioContext:
// a click on an example plays it through the audio worklet, sample for sample
// as the native render; the keys pause, seek and mute; a dropped file that is
// not a song is told on the page.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { join } from 'node:path';
import { RATE, SITE, assertSamplesEqual, fromBase64, nativeRender,
  openReadyPage } from './helpers.mjs';

let site;
let browser;
let page;
let demo;  // the native render of the demo

before(async () => {
  demo = nativeRender(join(SITE, 'examples', 'demo.song'));
  ({ site, browser, page } = await openReadyPage());
});

after(async () => {
  await browser?.close();
  await site?.close();
});

const position = () => page.evaluate(() => opl2page.player.position);

/** Waits until the song stands past `seconds`; returns where it stood then. */
async function playsPast(seconds) {
  const at = await page.waitForFunction((s) => opl2page.player.position > s && opl2page.player.position,
    seconds, { timeout: 10000 });
  return at.jsonValue();
}

/** Waits for the worklet's first word that it has stopped playing. */
function workletPaused() {
  return page.evaluate(() => new Promise((resolve) => {
    const heard = (e) => {
      if (e.detail.playing) return;
      opl2page.player.removeEventListener('status', heard);
      resolve();
    };
    opl2page.player.addEventListener('status', heard);
  }));
}

/** The next `frames` samples the live worklet plays: { frame, pcm }. */
async function capture(frames) {
  const r = await page.evaluate(async (n) => {
    const c = await opl2page.player.capture(n);
    return { frame: c.frame, pcm: toBase64(c.samples) };
  }, frames);
  return { frame: r.frame, pcm: fromBase64(r.pcm) };
}

test('a click on an example plays it through the worklet, sample for sample', async () => {
  await page.getByRole('button', { name: /^demo/ }).click();
  await playsPast(0.5);
  const live = await capture(20000);
  assert.ok(live.frame > 0);
  assertSamplesEqual(assert, live.pcm, demo.subarray(live.frame, live.frame + 20000), 'live worklet');
  assert.match(await page.locator('#time').textContent(), /^0:0\d \/ 0:40$/);
  assert.equal(await page.locator('#now').textContent(), 'demo.song');
});

test('Space pauses the clock and plays on from where it stood', async () => {
  await page.keyboard.press('Space');
  await workletPaused();  // later statuses all come from the paused worklet
  const paused = await position();
  await page.waitForTimeout(600);
  assert.equal(await position(), paused);
  assert.equal(await page.getByRole('button', { name: 'Play' }).count(), 1);
  await page.keyboard.press('Space');
  await playsPast(paused + 0.2);
  assert.equal(await page.getByRole('button', { name: 'Pause' }).count(), 1);
});

test('the arrows, Home and the seek bar move the clock, and the sound with it', async () => {
  const before = await position();
  await page.keyboard.press('ArrowRight');
  assert.ok((await playsPast(before + 5)) < before + 5.8, 'Right moved more than 5 s');
  await page.keyboard.press('Home');
  await page.waitForFunction(() => opl2page.player.position < 1);
  await page.locator('#seek').fill('21');
  assert.ok((await playsPast(21)) < 21.8);
  const live = await capture(10000);
  assert.ok(live.frame >= Math.round(21 * RATE));
  assertSamplesEqual(assert, live.pcm, demo.subarray(live.frame, live.frame + 10000), 'after a seek');
  await page.keyboard.press('ArrowDown');
  await page.waitForFunction(() => opl2page.player.position < 1);
});

test('s then a digit plays one channel alone; muting it too silences the song', async () => {
  await page.keyboard.press('s');
  await page.keyboard.press('2');
  const mutes = await page.locator('input[aria-label^="Mute channel"]').evaluateAll((els) =>
    els.map((e) => e.checked));
  assert.deepEqual(mutes, [true, true, false, true, true, true, true, true, true]);
  assert.equal(await page.getByRole('button', { name: 'Solo channel 2' }).getAttribute('aria-pressed'), 'true');
  // The bass alone: what the library gives with the same channels muted.
  const alone = await capture(20000);
  const want = await page.evaluate(async ({ frame, n }) => {
    const bytes = new Uint8Array(await (await fetch('/examples/demo.song')).arrayBuffer());
    const song = opl2page.player.opl2.open(bytes);
    for (const c of [0, 1, 3, 4, 5, 6, 7, 8]) song.mute(c, true);
    song.seek(frame / (3579545 / 72));
    const pcm = song.read(n);
    song.close();
    return toBase64(pcm);
  }, { frame: alone.frame, n: 20000 });
  assertSamplesEqual(assert, alone.pcm, fromBase64(want), 'channel 2 alone');
  assert.ok(alone.pcm.some((s) => s !== 0), 'channel 2 alone is silent');
  await page.keyboard.press('2');
  const none = await capture(20000);
  assert.equal(none.pcm.length, 20000);
  assert.ok(none.pcm.every((s) => s === 0), 'every channel muted, yet a sample sounds');
  await page.keyboard.press('a');
  const all = await capture(5000);
  assertSamplesEqual(assert, all.pcm, demo.subarray(all.frame, all.frame + 5000), 'all unmuted');
});

test('volume and loop mode keys show what they set', async () => {
  await page.keyboard.press('+');
  await page.keyboard.press('+');
  assert.equal(await page.locator('#volume-out').textContent(), '+2 dB');
  await page.keyboard.press('-');
  assert.equal(await page.locator('#volume-out').textContent(), '+1 dB');
  await page.waitForFunction(() => Math.abs(opl2page.player.gain.gain.value - 10 ** (1 / 20)) < 0.001);
  await page.keyboard.press('l');
  assert.equal(await page.locator('#loops').inputValue(), '-1');
  await page.waitForFunction(() => document.getElementById('time').textContent.endsWith('/ ∞'));
  await page.keyboard.press('l');
  assert.equal(await page.locator('#loops').inputValue(), '2');
  await page.waitForFunction(() => document.getElementById('time').textContent.endsWith('/ 0:40'));
});

test('a dropped file that is not a song shows why, and the song plays on', async () => {
  const notes = await page.evaluateHandle(() => {
    const dt = new DataTransfer();
    dt.items.add(new File(['These are my notes, not a song.\n'], 'notes.txt', { type: 'text/plain' }));
    return dt;
  });
  await page.dispatchEvent('body', 'drop', { dataTransfer: notes });
  const alert = page.getByRole('alert');
  await alert.waitFor();
  assert.match(await alert.textContent(), /^notes\.txt: not a song/);
  assert.equal(await page.locator('#now').textContent(), 'demo.song');
  const was = await position();
  await playsPast(was + 0.2);
});

test('a song picked with the file input plays, and the message goes', async () => {
  await page.locator('#file').setInputFiles(join(SITE, 'examples', 'minuet.song'));
  await page.waitForFunction(() => document.getElementById('now').textContent === 'minuet.song');
  assert.equal(await page.getByRole('alert').count(), 0);
  await playsPast(0.3);
  // To its end, where Play starts it again from the start.
  await page.waitForFunction(() => Number.isFinite(opl2page.player.duration));
  const end = await page.evaluate(() => opl2page.player.duration);
  await page.locator('#seek').fill((end - 0.3).toFixed(2));
  await page.waitForFunction(() => opl2page.player.ended);
  assert.equal(await page.getByRole('button', { name: 'Play' }).count(), 1);
  assert.equal(await page.locator('#time').textContent(), `${Math.floor(end / 60)}:${
    String(Math.floor(end % 60)).padStart(2, '0')} / ${await page.evaluate(() =>
    document.getElementById('time').textContent.split(' / ')[1])}`);
  await page.keyboard.press('Space');
  await page.waitForFunction(() => opl2page.player.playing && opl2page.player.position < 1);
});

test('every control is labelled and reached with Tab', async () => {
  const controls = await page.locator('button, input, select, summary').evaluateAll((els) =>
    els.map((e) => ({
      id: e.id || e.getAttribute('aria-label') || e.textContent.trim(),
      named: Boolean(e.getAttribute('aria-label') || (e.labels && e.labels.length) ||
        (e.textContent.trim() && e.tagName !== 'INPUT')),
    })));
  assert.ok(controls.length >= 9 + 9 + 3 + 6, `only ${controls.length} controls`);
  assert.deepEqual(controls.filter((c) => !c.named), []);
  await page.evaluate(() => document.activeElement.blur());
  const reached = new Set();
  for (let i = 0; i < controls.length + 5; ++i) {
    await page.keyboard.press('Tab');
    reached.add(await page.evaluate(() => {
      const e = document.activeElement;
      return e.id || e.getAttribute('aria-label') || e.textContent.trim();
    }));
  }
  assert.deepEqual(controls.map((c) => c.id).filter((id) => !reached.has(id)), []);
});

test('a browser without AudioWorklet is told so on the page', async () => {
  const bare = await browser.newPage();
  await bare.addInitScript(() => {
    delete globalThis.AudioWorkletNode;
  });
  await bare.goto(site.url);
  const alert = bare.getByRole('alert');
  await alert.waitFor();
  assert.match(await alert.textContent(), /no AudioWorklet/);
  await bare.close();
});
