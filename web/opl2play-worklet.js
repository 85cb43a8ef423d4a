// The player in the audio thread: one song, rendered by the library straight
// into the audio graph at the chip's own rate. The page sends commands through
// the port and hears back where the song stands and what its channels do.
import { createOpl2Sync } from './opl2play.mjs';

// How often the page hears where the song stands (frames; about 24 a second).
const STATUS_FRAMES = 2048;

class Opl2Processor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const o = options.processorOptions;
    this.bytes = o.bytes;
    this.settings = o.settings;
    this.playing = Boolean(o.playing);
    this.mask = o.mask | 0;
    this.ended = false;
    this.closed = false;
    this.started = false;
    this.sinceStatus = STATUS_FRAMES;
    this.capture = null;
    this.song = null;
    this.port.onmessage = (e) => this.command(e.data);
    try {
      this.opl2 = createOpl2Sync(o.wasmModule);
      this.openSong(o.position || 0);
    } catch (e) {
      this.fail(e);
    }
  }

  fail(e) {
    this.song = null;
    this.port.postMessage({ type: 'error', message: String(e && e.message ? e.message : e) });
  }

  openSong(position) {
    const song = this.opl2.open(this.bytes, this.settings);
    if (this.song) this.song.close();
    this.song = song;
    song.setMeters(true);
    for (let c = 0; c < 9; ++c) song.mute(c, (this.mask >> c) & 1);
    this.ended = false;
    if (position > 0 && !song.seek(position)) this.ended = true;
  }

  command(m) {
    try {
      switch (m.type) {
        case 'play':
          this.playing = true;
          break;
        case 'pause':
          this.playing = false;
          break;
        case 'seek':
          if (this.song && this.song.seek(Math.max(0, m.seconds))) {
            this.ended = false;
          } else if (this.song) {
            this.ended = true;  // past the end
          }
          this.sinceStatus = STATUS_FRAMES;
          break;
        case 'mute':
          this.mask = m.mask | 0;
          if (this.song) for (let c = 0; c < 9; ++c) this.song.mute(c, (this.mask >> c) & 1);
          break;
        case 'settings':
          // Loops and fade are fixed when a song opens: open it again where it stands.
          this.settings = m.settings;
          if (this.song) this.openSong(this.song.position);
          this.sinceStatus = STATUS_FRAMES;
          break;
        case 'capture':
          this.capture = { frame: -1, samples: new Float32Array(m.frames), filled: 0 };
          break;
        case 'close':
          this.closed = true;
          if (this.song) this.song.close();
          this.song = null;
          break;
      }
    } catch (e) {
      this.fail(e);
    }
  }

  status() {
    const song = this.song;
    this.sinceStatus = 0;
    if (!song) return;
    this.port.postMessage({
      type: 'status',
      position: song.position,
      playing: this.playing && !this.ended,
      ended: this.ended,
      channels: song.channels(),
    });
  }

  record(out, n, frameBefore) {
    const c = this.capture;
    if (c.frame < 0) c.frame = frameBefore;
    const take = Math.min(n, c.samples.length - c.filled);
    c.samples.set(out.subarray(0, take), c.filled);
    c.filled += take;
    if (c.filled === c.samples.length || take < n || n < out.length) {
      this.port.postMessage({ type: 'capture', frame: c.frame, samples: c.samples.subarray(0, c.filled) });
      this.capture = null;
    }
  }

  process(inputs, outputs) {
    if (this.closed) return false;
    const out = outputs[0][0];
    if (!this.song || !this.playing || this.ended) {
      if ((this.sinceStatus += out.length) >= STATUS_FRAMES) this.status();
      return true;
    }
    const frameBefore = this.capture ? Math.round(this.song.position * this.song.sampleRate) : 0;
    const n = this.song.readInto(out);
    if (this.capture) this.record(out, n, frameBefore);
    if (!this.started) {
      this.started = true;
      this.port.postMessage({ type: 'started', time: currentTime });
    }
    if (n < out.length) {
      this.ended = true;
      this.playing = false;  // a seek after the end waits for play
      this.port.postMessage({ type: 'ended', position: this.song.position });
    }
    if ((this.sinceStatus += out.length) >= STATUS_FRAMES) this.status();
    return true;
  }
}

registerProcessor('opl2play', Opl2Processor);
