// Turns the bytes a terminal sends for key presses into console key events
// (key_event.h), the way a US PC keyboard would have reported them. Pure: no
// terminal, no clock; the caller says when waiting for more bytes is over.
//
// What is understood:
//  - printable ASCII: the key's virtual-key code and scan code on a US
//    layout, Shift set for shifted characters (capital letters included,
//    since a terminal does not tell Caps Lock apart);
//  - bytes 1..26: Ctrl with a letter (virtual-key code of the letter, the
//    byte as the character), except 8, 9 (Tab) and 13 (Enter); 0 is
//    Ctrl+Space (character 32); 28..31 are Ctrl with backslash, "]", "^"
//    and "_";
//  - 8 and 127: the one that is the terminal's erase character is Backspace
//    (character 8), the other Ctrl+Backspace (character 127, Ctrl held), as
//    terminals send them; so Ctrl+H, which also sends 8, reads as
//    Ctrl+Backspace where the erase character is 127;
//  - ESC alone, once no byte follows within kEscapeTimeoutMs: Escape;
//  - ESC followed by a key: that key with Alt (LEFT_ALT_PRESSED);
//  - CSI (ESC "[") and SS3 (ESC "O") sequences of xterm, rxvt and the Linux
//    console for F1-F12, the cursor keys, Home, End, Page Up/Down, Insert,
//    Delete, the keypad centre key and Shift+Tab (CSI "Z"), with xterm's
//    modifier parameter (";2" Shift, ";3" Alt, ";4" Shift+Alt, ";5" Ctrl,
//    ";6" Shift+Ctrl, ";7" Alt+Ctrl, ";8" all three; Meta counts as Alt);
//  - rxvt's forms of the same keys, read as their xterm twins: "CSI a".."d"
//    Shift+cursor keys, "SS3 a".."d" Ctrl+cursor keys, "CSI n ^", "CSI n $"
//    and "CSI n @" the "CSI n ~" keys with Ctrl, Shift and Ctrl+Shift ("$"
//    closes the sequence after a plain number instead of being taken as an
//    intermediate byte), "CSI 25 ~".."CSI 34 ~" Shift+F3..F10; and the
//    keypad centre "CSI G" of rxvt and the Linux console as xterm's "CSI E";
//  - UTF-8: code points 128..255 become that character, others "?"; a byte
//    of 128 or more that does not start valid UTF-8 is taken as the
//    character itself. Such keys have virtual-key code and scan code 0.
// Any other well-formed escape sequence (focus reports, keys of unknown
// terminals) is consumed and reported as kNotAKey.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "player/key_event.h"

namespace opl2 {

// How long an ESC may wait for the rest of its sequence before it is taken as
// the Escape key on its own.
inline constexpr int kEscapeTimeoutMs = 30;

enum class DecodeStatus {
  kKey,         // `event` holds a key press; `consumed` bytes are used up
  kNotAKey,     // `consumed` bytes were a sequence that is no key press
  kIncomplete,  // the bytes may be the start of a longer sequence: read more,
                // or call again with timed_out once kEscapeTimeoutMs passed
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::kIncomplete;
  std::size_t consumed = 0;  // 0 for kIncomplete, else at least 1
  KeyEvent event;            // valid for kKey only
};

// Decodes the first key press at the start of `bytes`; call again on the rest
// for the next one. With `timed_out` false, a prefix that more bytes could
// still complete gives kIncomplete; with `timed_out` true (no byte came in
// time, or the input has ended) the bytes are taken as they are, so the
// result is never kIncomplete unless `bytes` is empty.
// `erase_character` is the byte the terminal's Backspace key sends (its
// VERASE setting); 127 on most terminals.
inline constexpr std::uint8_t kDefaultEraseCharacter = 0x7F;

DecodeResult DecodeKey(std::span<const std::uint8_t> bytes, bool timed_out,
                       std::uint8_t erase_character = kDefaultEraseCharacter);

}  // namespace opl2
