// The page's plain modules, in node: the shortcut keys and how times and
// pitches read.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { KeyMap, controlOwnsKey } from '../../web/js/keys.js';
import { formatDb, formatTime, noteName } from '../../web/js/format.js';

test('the console player keys, with s then a digit for solo', () => {
  const keys = new KeyMap();
  const seq = (...names) => names.map((k) => keys.action(k));
  assert.deepEqual(seq(' ', 'ArrowLeft', 'ArrowRight', 'ArrowDown', 'ArrowUp', 'Home', 'a', 'l', '+', '-'), [
    { type: 'toggle' }, { type: 'seekBy', seconds: -5 }, { type: 'seekBy', seconds: 5 },
    { type: 'seekBy', seconds: -60 }, { type: 'seekBy', seconds: 60 }, { type: 'restart' },
    { type: 'unmuteAll' }, { type: 'loopMode' }, { type: 'volumeBy', db: 1 }, { type: 'volumeBy', db: -1 },
  ]);
  assert.deepEqual(seq('s', '4', '4', '0', '8', '9'), [
    { type: 'soloPending' }, { type: 'solo', channel: 4 }, { type: 'mute', channel: 4 },
    { type: 'mute', channel: 0 }, { type: 'mute', channel: 8 }, null,
  ]);
  // Any other key between s and the digit drops the solo.
  assert.deepEqual(seq('s', 'x', '3'), [{ type: 'soloPending' }, null, { type: 'mute', channel: 3 }]);
});

test('a focused control keeps the keys it uses itself', () => {
  const el = (tagName, type) => ({ tagName, type });
  assert.equal(controlOwnsKey(el('BUTTON'), ' '), true);
  assert.equal(controlOwnsKey(el('BUTTON'), '3'), false);
  assert.equal(controlOwnsKey(el('BUTTON'), 'ArrowLeft'), false);
  assert.equal(controlOwnsKey(el('INPUT', 'range'), 'ArrowLeft'), true);
  assert.equal(controlOwnsKey(el('INPUT', 'range'), ' '), false);
  assert.equal(controlOwnsKey(el('INPUT', 'checkbox'), ' '), true);
  assert.equal(controlOwnsKey(el('INPUT', 'checkbox'), 's'), false);
  assert.equal(controlOwnsKey(el('INPUT', 'number'), '3'), true);
  assert.equal(controlOwnsKey(el('SELECT'), 'ArrowDown'), true);
  assert.equal(controlOwnsKey(el('BODY'), ' '), false);
  assert.equal(controlOwnsKey(null, ' '), false);
});

test('times read m:ss, pitches as notes of A4 = 440 Hz, gains in whole dB', () => {
  assert.deepEqual([0, 9.99, 59.999, 60, 61.5, 3725, Infinity, NaN, -3].map(formatTime),
    ['0:00', '0:09', '0:59', '1:00', '1:01', '62:05', '∞', '0:00', '0:00']);
  // The chip's A4: F-number 580 in block 4 is 580 * 49716 / 2^16 = 440.0 Hz.
  assert.equal(noteName((580 * 3579545) / 72 / 2 ** 16), 'A4');
  assert.deepEqual([261.63, 27.5, 4186.01, 466.16, 0].map(noteName), ['C4', 'A0', 'C8', 'A#4', '']);
  assert.deepEqual([0, 1, -6, 2.4].map(formatDb), ['0 dB', '+1 dB', '-6 dB', '+2 dB']);
});
