// The keyboard shortcuts of the console player, as actions for the page:
// Space pause, Left/Right -/+5 s, Down/Up -/+60 s, Home restart, 0-8 mute,
// s then a digit solo, a unmute all, +/- volume by 1 dB, l loop mode.

/** Turns key names (KeyboardEvent.key) into actions; remembers a pending "s". */
export class KeyMap {
  constructor() {
    this.soloPending = false;
  }

  /** The action for `key`, or null when the key means nothing here. */
  action(key) {
    const solo = this.soloPending;
    this.soloPending = false;
    if (key.length === 1 && key >= '0' && key <= '8') {
      return { type: solo ? 'solo' : 'mute', channel: key.charCodeAt(0) - 48 };
    }
    switch (key) {
      case ' ':
      case 'Spacebar':
        return { type: 'toggle' };
      case 'ArrowLeft':
        return { type: 'seekBy', seconds: -5 };
      case 'ArrowRight':
        return { type: 'seekBy', seconds: 5 };
      case 'ArrowDown':
        return { type: 'seekBy', seconds: -60 };
      case 'ArrowUp':
        return { type: 'seekBy', seconds: 60 };
      case 'Home':
        return { type: 'restart' };
      case 's':
      case 'S':
        this.soloPending = true;
        return { type: 'soloPending' };
      case 'a':
      case 'A':
        return { type: 'unmuteAll' };
      case '+':
      case '=':
        return { type: 'volumeBy', db: 1 };
      case '-':
      case '_':
        return { type: 'volumeBy', db: -1 };
      case 'l':
      case 'L':
        return { type: 'loopMode' };
      default:
        return null;
    }
  }
}

const NAVIGATION = new Set(['ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown', 'Home', 'End',
  'PageUp', 'PageDown']);

/**
 * True when the focused control uses `key` itself (a button's Space, a
 * slider's arrows, typing in a field), so the shortcut must stand aside.
 */
export function controlOwnsKey(target, key) {
  if (!target || !target.tagName) return false;
  const tag = target.tagName.toLowerCase();
  if (tag === 'textarea' || tag === 'select' || target.isContentEditable) return true;
  if (tag === 'button' || tag === 'summary' || tag === 'a') return key === ' ' || key === 'Enter';
  if (tag !== 'input') return false;
  const type = (target.type || 'text').toLowerCase();
  if (type === 'range') return NAVIGATION.has(key);
  if (type === 'checkbox' || type === 'radio' || type === 'button' || type === 'file') {
    return key === ' ' || key === 'Enter';
  }
  return true;  // text and number fields take every key
}
