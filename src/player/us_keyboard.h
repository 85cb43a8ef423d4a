// The keys of a US PC keyboard that give a byte below 128 on a terminal.
#pragma once

#include <cstdint>

#include "player/key_event.h"

namespace opl2 {

// The key event for `byte` as typed on a US keyboard: virtual-key code, set-1
// scan code, character and the modifiers needed to type it (Shift for
// shifted characters, Ctrl for control characters). See key_decoder.h for
// the control bytes. A byte of 128 or more gives the character alone, with
// virtual-key code and scan code 0.
KeyEvent KeyForByte(std::uint8_t byte);

}  // namespace opl2
