// Figures of the browser player, printed (scripts/web measure): the .wasm
// size, the time from a click on an example to its first sound, and what
// rendering costs in the audio worklet and through the JS API.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { SITE, launchBrowser, serveSite } from './helpers.mjs';

const runs = Number(process.env.RUNS || 10);
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

const wasm = readFileSync(join(SITE, 'opl2play.wasm'));
console.log(`opl2play.wasm: ${wasm.length} bytes, ${gzipSync(wasm, { level: 9 }).length} gzipped`);

const site = await serveSite();
const browser = await launchBrowser();
try {
  // A fresh page each time: load, click the demo, wait for the worklet's first samples.
  const first = [];
  let latency = 0;
  for (let i = 0; i < runs; ++i) {
    const page = await browser.newPage();
    await page.goto(site.url);
    await page.waitForSelector('body[data-ready]');
    await page.getByRole('button', { name: /^demo/ }).click();
    await page.waitForFunction(() => opl2page.firstSound.length > 0);
    first.push(await page.evaluate(() => opl2page.firstSound[0]));
    latency = await page.evaluate(() =>
      opl2page.player.context.baseLatency + (opl2page.player.context.outputLatency || 0));
    await page.close();
  }
  console.log(`click to first samples in the audio graph: median ${median(first).toFixed(0)} ms, ` +
    `max ${Math.max(...first).toFixed(0)} ms over ${runs} page loads; the output adds ` +
    `${(latency * 1000).toFixed(0)} ms`);

  const page = await browser.newPage();
  await page.goto(site.url);
  await page.waitForSelector('body[data-ready]');
  const cost = await page.evaluate(async (runs) => {
    const bytes = new Uint8Array(await (await fetch('/examples/demo.song')).arrayBuffer());
    const seconds = 40;
    const worklet = [];
    for (let i = 0; i < runs; ++i) {
      const ctx = new OfflineAudioContext(1, seconds * 49716, 49716);
      await ctx.audioWorklet.addModule('/opl2play-worklet.js');
      const node = new AudioWorkletNode(ctx, 'opl2play', {
        numberOfInputs: 0,
        outputChannelCount: [1],
        processorOptions: { wasmModule: opl2page.player.wasmModule, bytes, playing: true, mask: 0,
          settings: { sampleRate: 0, loops: 2, fade: 8, maxSeconds: 600 } },
      });
      node.connect(ctx.destination);
      const t0 = performance.now();
      await ctx.startRendering();
      worklet.push(seconds / ((performance.now() - t0) / 1000));
    }
    const api = [];
    for (let i = 0; i < runs; ++i) {
      const song = opl2page.player.opl2.open(bytes);
      const t0 = performance.now();
      const n = song.read(seconds * 49716).length;
      api.push(n / 49716 / ((performance.now() - t0) / 1000));
      song.close();
    }
    return { worklet, api };
  }, runs);
  console.log(`worklet render of the 40 s demo (OfflineAudioContext): median ` +
    `${median(cost.worklet).toFixed(0)} x real time, best ${Math.max(...cost.worklet).toFixed(0)} x`);
  console.log(`song.read on the page's thread: median ${median(cost.api).toFixed(0)} x real time`);
} finally {
  await browser.close();
  await site.close();
}
