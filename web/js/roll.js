// A piano roll on a canvas: time runs right to left, pitch upwards, one
// colour per channel, brightness from the channel's output level.
import { midiNote } from './format.js';

const LOW = 24;   // C1
const HIGH = 108; // C8
const STEP = 3;   // pixels a status message moves the roll

export const CHANNEL_COLOURS = ['#e6194b', '#3cb44b', '#ffe119', '#4363d8', '#f58231', '#911eb4',
  '#42d4f4', '#f032e6', '#bfef45'];

export class PianoRoll {
  constructor(canvas) {
    this.canvas = canvas;
    this.g = canvas.getContext('2d');
    this.resize();
  }

  resize() {
    const ratio = globalThis.devicePixelRatio || 1;
    const w = Math.max(1, Math.round(this.canvas.clientWidth * ratio));
    const h = Math.max(1, Math.round(this.canvas.clientHeight * ratio));
    if (this.canvas.width !== w || this.canvas.height !== h) {
      this.canvas.width = w;
      this.canvas.height = h;
      this.clear();
    }
  }

  clear() {
    this.g.fillStyle = '#10131a';
    this.g.fillRect(0, 0, this.canvas.width, this.canvas.height);
  }

  /** The y of a note's row. */
  rowOf(note) {
    const h = this.canvas.height;
    return h - ((note - LOW) / (HIGH - LOW)) * h;
  }

  /** Moves the roll on by one step and draws the sounding channels at its right edge. */
  advance(channels) {
    const { g, canvas } = this;
    const w = canvas.width;
    const step = STEP * (globalThis.devicePixelRatio || 1);
    g.drawImage(canvas, -step, 0);
    g.fillStyle = '#10131a';
    g.fillRect(w - step, 0, step, canvas.height);
    const rowHeight = Math.max(2, canvas.height / (HIGH - LOW));
    channels.forEach((ch, c) => {
      if (!ch.keyOn || ch.muted) return;
      const note = midiNote(ch.frequency);
      if (note < LOW || note > HIGH) return;
      g.globalAlpha = 0.25 + 0.75 * Math.min(1, ch.level / 8192);
      g.fillStyle = CHANNEL_COLOURS[c];
      g.fillRect(w - step, this.rowOf(note) - rowHeight / 2, step, rowHeight);
    });
    g.globalAlpha = 1;
  }
}
