// The JavaScript API of opl2play.mjs, over libopl2play's C API. This part of
// the module follows the compiled runtime (createOpl2Wasm) in the same file.
//
//   import createOpl2 from './opl2play.mjs';
//   const opl2 = await createOpl2();            // loads opl2play.wasm from beside the module
//   const song = opl2.open(bytes, { sampleRate: 0, loops: 2, fade: 8, maxSeconds: 600 });
//   song.read(frames);                          // Int16Array, mono, the chip's own rate
//   song.seek(seconds); song.position; song.duration; song.mute(channel, on); song.close();

/** The chip's own sample rate: 3,579,545 / 72 Hz. */
export const NATIVE_RATE = 3579545 / 72;
/** The chip's melodic channels. */
export const CHANNELS = 9;

const VIEW_FIELDS = 7;
const ERROR_BYTES = 256;
const CHUNK_FRAMES = 4096;

function checkFinite(name, value) {
  if (typeof value !== 'number' || Number.isNaN(value)) {
    throw new TypeError(`${name} must be a number`);
  }
  return value;
}

function toBytes(bytes) {
  if (bytes instanceof Uint8Array) return bytes;
  if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes);
  if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  throw new TypeError('open() takes the song file as a Uint8Array or ArrayBuffer');
}

/** One open song: read it like a sound file, seek in it, mute its channels. */
class Song {
  constructor(wasm, handle) {
    this._wasm = wasm;
    this._handle = handle;
    this._chunk = wasm._malloc(CHUNK_FRAMES * 4);
    this._views = wasm._malloc(CHANNELS * VIEW_FIELDS * 4);
    if (!this._chunk || !this._views) {
      this.close();
      throw new Error('out of memory');
    }
  }

  _live() {
    if (!this._handle) throw new Error('this song is closed');
    return this._handle;
  }

  /** Seconds the song plays in all from the start (Infinity when it never ends). */
  get duration() {
    return this._wasm._opl2_duration(this._live());
  }

  /** Seconds delivered so far, or the last seek's target. */
  get position() {
    return this._wasm._opl2_position(this._live());
  }

  /** The output rate in Hz. */
  get sampleRate() {
    return this._wasm._opl2_sample_rate(this._live());
  }

  /** The next `frames` samples as an Int16Array; shorter only at the end. */
  read(frames) {
    const handle = this._live();
    const want = Math.max(0, Math.floor(checkFinite('frames', frames)));
    const out = new Int16Array(want);
    let done = 0;
    while (done < want) {
      const ask = Math.min(CHUNK_FRAMES, want - done);
      const got = this._wasm._opl2_read_s16(handle, this._chunk, ask);
      out.set(new Int16Array(this._wasm.HEAPU8.buffer, this._chunk, got), done);
      done += got;
      if (got < ask) break;
    }
    return done === want ? out : out.slice(0, done);
  }

  /**
   * Fills `out` (a Float32Array) with the next samples as -1..1 (each exactly
   * the 16-bit sample / 32768) and returns how many; fewer only at the end.
   * Allocates nothing: for the audio thread.
   */
  readInto(out) {
    const handle = this._live();
    let done = 0;
    while (done < out.length) {
      const ask = Math.min(CHUNK_FRAMES, out.length - done);
      const got = this._wasm._opl2_read_f32(handle, this._chunk, ask);
      // A view of the chunk, made again only when the memory has grown.
      if (!this._floats || this._floats.buffer !== this._wasm.HEAPU8.buffer) {
        this._floats = new Float32Array(this._wasm.HEAPU8.buffer, this._chunk, CHUNK_FRAMES);
      }
      const floats = this._floats;
      for (let i = 0; i < got; ++i) out[done + i] = floats[i];
      done += got;
      if (got < ask) break;
    }
    return done;
  }

  /** Moves to `seconds` exactly (to a sample); false, with nothing changed, when out of range. */
  seek(seconds) {
    return this._wasm._opl2_seek(this._live(), checkFinite('seconds', seconds)) === 0;
  }

  /** Leaves channel 0..8 out of the sound (it keeps running) or puts it back. */
  mute(channel, muted) {
    this._wasm._opl2_mute_channel(this._live(), channel | 0, muted ? 1 : 0);
  }

  /** Turns on or off the level meters read by channels(). */
  setMeters(on) {
    this._wasm._opl2_set_meters(this._live(), on ? 1 : 0);
  }

  /**
   * The 9 channels as of the last sample read: { keyOn, block, fnum,
   * frequency, instrument, volume, muted, level } (level 0..32767, the largest
   * output since the last call, while meters are on).
   */
  channels() {
    const handle = this._live();
    this._wasm._opl2web_views(handle, this._views);
    const table = new Int32Array(this._wasm.HEAPU8.buffer, this._views, CHANNELS * VIEW_FIELDS);
    const out = [];
    for (let c = 0; c < CHANNELS; ++c) {
      const r = table.subarray(c * VIEW_FIELDS, (c + 1) * VIEW_FIELDS);
      out.push({
        keyOn: r[0] !== 0,
        block: r[1],
        fnum: r[2],
        frequency: (r[2] * NATIVE_RATE) / 2 ** (20 - r[1]),
        instrument: r[3],
        volume: r[4],
        muted: r[5] !== 0,
        level: r[6],
      });
    }
    return out;
  }

  /** Frees the song; it may not be used afterwards. Closing twice is harmless. */
  close() {
    if (this._chunk) this._wasm._free(this._chunk);
    if (this._views) this._wasm._free(this._views);
    if (this._handle) this._wasm._opl2_close(this._handle);
    this._chunk = this._views = this._handle = 0;
    this._floats = null;
  }
}

class Opl2 {
  constructor(wasm) {
    this._wasm = wasm;
    this.version = wasm.UTF8ToString(wasm._opl2_version());
  }

  /**
   * Opens a song from the bytes of its file. Settings: sampleRate (0, the
   * chip's own rate, is the only one this build offers), loops (-1 or
   * Infinity: for ever), fade (seconds), maxSeconds (0: no cap). Throws an
   * Error with the reason when the bytes are not a song or a setting is out
   * of range.
   */
  open(bytes, settings = {}) {
    const data = toBytes(bytes);
    const s = { sampleRate: 0, loops: 2, fade: 8, maxSeconds: 600, ...settings };
    const loops = s.loops === Infinity ? -1 : checkFinite('loops', s.loops);
    if (!Number.isInteger(loops)) throw new RangeError('loops must be a whole number');
    const wasm = this._wasm;
    const size = Math.max(1, data.length);
    const copy = wasm._malloc(size);
    const error = wasm._malloc(ERROR_BYTES);
    if (!copy || !error) {
      wasm._free(copy);
      wasm._free(error);
      throw new Error('out of memory');
    }
    try {
      wasm.HEAPU8.set(data, copy);
      wasm.HEAPU8[error] = 0;
      const handle = wasm._opl2web_open(
          copy, data.length, checkFinite('sampleRate', s.sampleRate) | 0,
          Math.max(-2, Math.min(loops, 2 ** 31 - 1)), checkFinite('fade', s.fade),
          checkFinite('maxSeconds', s.maxSeconds), error, ERROR_BYTES);
      if (!handle) throw new Error(wasm.UTF8ToString(error) || 'not a song');
      return new Song(wasm, handle);
    } finally {
      wasm._free(copy);
      wasm._free(error);
    }
  }
}

function wasmConfig(options) {
  const config = {
    // Beside this module (an audio worklet has no URL, and loads nothing).
    locateFile: (path) => (typeof URL === 'function' ? new URL(path, import.meta.url).href : path),
    print: () => {},
    printErr: (text) => console.warn(text),
  };
  if (options.wasmModule) {
    // A module compiled elsewhere (the page hands it to the audio thread).
    config.instantiateWasm = (imports, done) => {
      if (options.sync) {
        done(new WebAssembly.Instance(options.wasmModule, imports), options.wasmModule);
      } else {
        WebAssembly.instantiate(options.wasmModule, imports).then((i) => done(i, options.wasmModule));
      }
      return {};
    };
  } else if (options.wasmBinary) {
    config.wasmBinary = options.wasmBinary;
  }
  return config;
}

/**
 * Loads the library: opl2play.wasm from beside this module, or
 * options.wasmModule (a compiled WebAssembly.Module) or options.wasmBinary.
 */
export default async function createOpl2(options = {}) {
  const config = wasmConfig({ ...options, sync: false });
  await createOpl2Wasm(config);
  return new Opl2(config);
}

/**
 * The library from an already compiled WebAssembly.Module, at once (where a
 * promise cannot be waited for, as in an audio worklet's constructor).
 */
export function createOpl2Sync(wasmModule) {
  const config = wasmConfig({ wasmModule, sync: true });
  createOpl2Wasm(config);
  if (!config.calledRun) throw new Error('the library did not start');
  return new Opl2(config);
}
