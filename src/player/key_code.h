// The key reader's code scheme: which key presses count and the number each
// one stands for.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "player/key_event.h"

namespace opl2 {

// The shifted and unshifted characters of the digit and symbol keys of a US
// layout. CAPS_SWAP_TO[i] is the partner of CAPS_SWAP_FROM[i]; with Caps Lock
// on, a character found in CAPS_SWAP_FROM is replaced by its partner.
inline constexpr std::array<std::uint8_t, 42> CAPS_SWAP_FROM = {
    '~', '!', '@', '#', '$', '%', '^',  '&', '*', '(', ')',  '_', '+', '|',
    '{', '}', ':', '"', '<', '>', '?',  '`', '1', '2', '3',  '4', '5', '6',
    '7', '8', '9', '0', '-', '=', '\\', '[', ']', ';', '\'', ',', '.', '/'};
inline constexpr std::array<std::uint8_t, 42> CAPS_SWAP_TO = {
    '`', '1', '2', '3',  '4', '5', '6', '7', '8', '9', '0', '-', '=', '\\',
    '[', ']', ';', '\'', ',', '.', '/', '~', '!', '@', '#', '$', '%', '^',
    '&', '*', '(', ')',  '_', '+', '|', '{', '}', ':', '"', '<', '>', '?'};

// The code of a key press, or nothing when the press does not count. The
// first rule that applies decides:
//  1. no character, scan code s > 58: -1000-s with Alt, else -2000-s with
//     Ctrl, else -s (Shift is not looked at);
//  2. a character with Alt: virtual-key code + 1000;
//  3. scan code 15 (Tab) with Shift: 15;
//  4. virtual-key code 27 (Escape): 27;
//  5. a character with Caps Lock on is swapped through CAPS_SWAP_FROM/TO;
//  6. a character: its value as a signed 8-bit number (128..255 give -128..-1);
//  7. otherwise (no character, scan code <= 58): not counted.
// Alt is either bit of kAltMask, Ctrl either bit of kCtrlMask.
std::optional<std::int32_t> KeyCodeFor(const KeyEvent& event);

}  // namespace opl2
