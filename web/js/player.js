// The page's player: the library on the page's own thread (to check a file
// and tell its length) and the song itself in an AudioWorklet, rendered in the
// audio thread into an AudioContext that runs at the chip's own rate.
import createOpl2, { NATIVE_RATE, CHANNELS } from '../opl2play.mjs';

/** The rate of the AudioContext: the chip's, to the nearest hertz (the browser resamples). */
export const CONTEXT_RATE = Math.round(NATIVE_RATE);
const ALL_CHANNELS = (1 << CHANNELS) - 1;

/** The library compiled once, for the page and for every worklet. */
export async function loadLibrary(base) {
  const url = new URL('opl2play.wasm', base);
  let wasmModule;
  try {
    wasmModule = await WebAssembly.compileStreaming(fetch(url));
  } catch {
    // A host that does not serve .wasm as application/wasm.
    const response = await fetch(url);
    if (!response.ok) throw new Error(`could not load ${url.pathname}: ${response.status}`);
    wasmModule = await WebAssembly.compile(await response.arrayBuffer());
  }
  const opl2 = await createOpl2({ wasmModule });
  return { opl2, wasmModule };
}

/** What stops the browser from playing, or "" when it can. */
export function missingFeature() {
  if (typeof WebAssembly !== 'object') return 'This browser has no WebAssembly, which the player needs.';
  const Context = globalThis.AudioContext || globalThis.webkitAudioContext;
  if (!Context) return 'This browser has no Web Audio, which the player needs.';
  if (typeof AudioWorkletNode === 'undefined' || !('audioWorklet' in Context.prototype)) {
    return 'This browser has no AudioWorklet, which the player needs to render sound in the audio thread.';
  }
  return '';
}

/**
 * Plays one song at a time. Events: "load" (a song was opened), "status"
 * (position and channels, about 24 a second), "duration", "ended", "error"
 * (detail: the message), "sound" (the first samples of a song reached the
 * audio graph).
 */
export class Player extends EventTarget {
  constructor(library, base) {
    super();
    this.opl2 = library.opl2;
    this.wasmModule = library.wasmModule;
    this.base = base;
    this.context = null;
    this.ready = null;
    this.node = null;
    this.bytes = null;
    this.name = '';
    this.duration = 0;
    this.position = 0;
    this.playing = false;
    this.ended = false;
    this.channels = [];
    this.mask = 0;
    this.volumeDb = 0;
    this.loops = 2;
    this.countedLoops = 2;
    this.fade = 8;
    this.maxSeconds = 0;
  }

  /** The AudioContext and the worklet module, made once (at load, or on the first click). */
  prepare() {
    if (!this.ready) {
      this.ready = (async () => {
        const Context = globalThis.AudioContext || globalThis.webkitAudioContext;
        this.context = new Context({ sampleRate: CONTEXT_RATE, latencyHint: 'interactive' });
        this.gain = this.context.createGain();
        this.gain.gain.value = 10 ** (this.volumeDb / 20);
        this.gain.connect(this.context.destination);
        await this.context.audioWorklet.addModule(new URL('opl2play-worklet.js', this.base));
      })();
      this.ready.catch(() => {
        this.ready = null;
      });
    }
    return this.ready;
  }

  settings() {
    return { sampleRate: 0, loops: this.loops, fade: this.fade, maxSeconds: this.maxSeconds };
  }

  /**
   * Opens the song in `bytes` and plays it from the start. Throws an Error
   * with the reason when the bytes are not a song (nothing else changes).
   */
  async load(bytes, name) {
    const data = new Uint8Array(bytes);
    const check = this.opl2.open(data, this.settings());  // throws for what is not a song
    check.close();
    const resumed = this.prepare().then(() => this.context.resume());
    await resumed;
    this.stopNode();
    this.bytes = data;
    this.name = name;
    this.position = 0;
    this.duration = NaN;
    this.ended = false;
    this.playing = true;
    this.mask = 0;
    this.startNode(0);
    this.dispatchEvent(new CustomEvent('mute', { detail: this.mask }));
    this.dispatchEvent(new CustomEvent('load', { detail: { name } }));
    this.measureDuration();
  }

  startNode(position) {
    const node = new AudioWorkletNode(this.context, 'opl2play', {
      numberOfInputs: 0,
      numberOfOutputs: 1,
      outputChannelCount: [1],
      processorOptions: {
        wasmModule: this.wasmModule,
        bytes: this.bytes,
        settings: this.settings(),
        playing: this.playing,
        mask: this.mask,
        position,
      },
    });
    node.port.onmessage = (e) => this.message(node, e.data);
    node.onprocessorerror = () => {
      if (node === this.node) {
        this.dispatchEvent(new CustomEvent('error', { detail: 'The audio thread stopped with an error.' }));
      }
    };
    node.connect(this.gain);
    this.node = node;
  }

  stopNode() {
    if (!this.node) return;
    this.node.port.postMessage({ type: 'close' });
    this.node.port.onmessage = null;
    this.node.disconnect();
    this.node = null;
  }

  /**
   * The song's length, found in a worker (the audio thread only plays, and
   * the page's thread stays free while a long song is rendered to its end).
   */
  measureDuration() {
    if (!this.bytes) return;
    if (!this.lengthWorker) {
      this.lengthWorker = new Worker(new URL('js/length-worker.js', this.base), { type: 'module' });
      this.lengthWorker.onmessage = (e) => {
        if (e.data.id !== this.lengthAsked) return;  // a song or setting since replaced
        if (e.data.error) {
          this.dispatchEvent(new CustomEvent('error', { detail: e.data.error }));
          return;
        }
        this.duration = e.data.duration;
        this.dispatchEvent(new CustomEvent('duration', { detail: this.duration }));
      };
    }
    this.duration = NaN;
    this.lengthAsked = (this.lengthAsked || 0) + 1;
    this.lengthWorker.postMessage({ id: this.lengthAsked, wasmModule: this.wasmModule,
      bytes: this.bytes, settings: this.settings() });
  }

  message(node, m) {
    if (node !== this.node) return;
    switch (m.type) {
      case 'status':
        this.position = m.position;
        this.ended = m.ended;
        this.channels = m.channels;
        this.dispatchEvent(new CustomEvent('status', { detail: m }));
        break;
      case 'started':
        this.dispatchEvent(new CustomEvent('sound', { detail: m }));
        break;
      case 'ended':
        this.position = m.position;
        this.ended = true;
        this.playing = false;
        this.dispatchEvent(new CustomEvent('ended'));
        break;
      case 'capture':
        this.dispatchEvent(new CustomEvent('capture', { detail: m }));
        break;
      case 'error':
        this.dispatchEvent(new CustomEvent('error', { detail: m.message }));
        break;
    }
  }

  send(message) {
    if (this.node) this.node.port.postMessage(message);
  }

  play() {
    if (!this.node) return;
    if (this.ended) this.seek(0);
    this.playing = true;
    this.context.resume();
    this.send({ type: 'play' });
  }

  pause() {
    this.playing = false;
    this.send({ type: 'pause' });
  }

  toggle() {
    if (this.playing) this.pause();
    else this.play();
  }

  /** Moves to `seconds`, kept inside the song. */
  seek(seconds) {
    if (!this.node) return;
    let target = Math.max(0, seconds);
    if (Number.isFinite(this.duration)) target = Math.min(target, this.duration);
    this.position = target;
    this.ended = false;
    this.send({ type: 'seek', seconds: target });
  }

  seekBy(delta) {
    this.seek(this.position + delta);
  }

  restart() {
    this.seek(0);
    if (!this.playing) this.play();
  }

  setMask(mask) {
    this.mask = mask & ALL_CHANNELS;
    this.send({ type: 'mute', mask: this.mask });
    this.dispatchEvent(new CustomEvent('mute', { detail: this.mask }));
  }

  isMuted(channel) {
    return ((this.mask >> channel) & 1) === 1;
  }

  /** The channel played alone, or -1. */
  soloChannel() {
    for (let c = 0; c < CHANNELS; ++c) {
      if (this.mask === (ALL_CHANNELS & ~(1 << c))) return c;
    }
    return -1;
  }

  toggleMute(channel) {
    this.setMask(this.mask ^ (1 << channel));
  }

  /** Plays `channel` alone; asked again for the same channel, every channel plays. */
  solo(channel) {
    this.setMask(this.soloChannel() === channel ? 0 : ALL_CHANNELS & ~(1 << channel));
  }

  unmuteAll() {
    this.setMask(0);
  }

  setVolume(db) {
    this.volumeDb = Math.max(-40, Math.min(6, Math.round(db)));
    if (this.gain) this.gain.gain.setTargetAtTime(10 ** (this.volumeDb / 20), this.context.currentTime, 0.01);
    this.dispatchEvent(new CustomEvent('volume', { detail: this.volumeDb }));
  }

  /** Loops for a looping song (-1: for ever) and the fade after them. */
  setLoops(loops, fade = this.fade) {
    this.loops = loops;
    if (loops >= 0) this.countedLoops = loops;
    this.fade = fade;
    this.dispatchEvent(new CustomEvent('loops', { detail: { loops, fade } }));
    if (!this.bytes) return;
    this.send({ type: 'settings', settings: this.settings() });
    this.measureDuration();
  }

  /** Between the set count of loops and for ever. */
  cycleLoopMode() {
    this.setLoops(this.loops < 0 ? this.countedLoops : -1);
  }

  /** The next `frames` samples the worklet plays, with the song frame of the first. */
  capture(frames) {
    return new Promise((resolve) => {
      const done = (e) => {
        this.removeEventListener('capture', done);
        resolve(e.detail);
      };
      this.addEventListener('capture', done);
      this.send({ type: 'capture', frames });
    });
  }
}
