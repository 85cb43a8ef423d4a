// How times and pitches read on the page.

/** 75.4 -> "1:15"; Infinity -> "∞" (a song that loops for ever). */
export function formatTime(seconds) {
  if (seconds === Infinity) return '∞';
  if (!Number.isFinite(seconds) || seconds < 0) return '0:00';
  const whole = Math.floor(seconds);
  const m = Math.floor(whole / 60);
  const s = whole % 60;
  return `${m}:${s < 10 ? '0' : ''}${s}`;
}

const NAMES = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];

/** The nearest equal-tempered note (A4 = 440 Hz) as a MIDI number; -1 for no pitch. */
export function midiNote(frequency) {
  if (!(frequency > 0)) return -1;
  return Math.round(69 + 12 * Math.log2(frequency / 440));
}

/** 440 -> "A4", 261.6 -> "C4"; "" for no pitch. */
export function noteName(frequency) {
  const n = midiNote(frequency);
  if (n < 0) return '';
  return `${NAMES[n % 12]}${Math.floor(n / 12) - 1}`;
}

/** A gain in dB as the page shows it: "+2 dB", "0 dB", "-6 dB". */
export function formatDb(db) {
  const r = Math.round(db);
  return `${r > 0 ? '+' : ''}${r} dB`;
}
