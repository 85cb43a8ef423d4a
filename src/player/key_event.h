// One key press as the key reader sees it: the fields of a console key event
// record. The terminal decoder (key_decoder.h) produces these; KeyCodeFor
// (key_code.h) turns them into key codes.
#pragma once

#include <cstdint>

namespace opl2 {

// Control-key state flags, by the console's names. Other bits are ignored.
// On Windows, <windows.h> defines the same flags as macros; where it came
// first, those are used.
#ifndef RIGHT_ALT_PRESSED
inline constexpr std::uint32_t RIGHT_ALT_PRESSED = 0x0001;
inline constexpr std::uint32_t LEFT_ALT_PRESSED = 0x0002;
inline constexpr std::uint32_t RIGHT_CTRL_PRESSED = 0x0004;
inline constexpr std::uint32_t LEFT_CTRL_PRESSED = 0x0008;
inline constexpr std::uint32_t SHIFT_PRESSED = 0x0010;
inline constexpr std::uint32_t CAPSLOCK_ON = 0x0080;
#endif

inline constexpr std::uint32_t kAltMask = RIGHT_ALT_PRESSED | LEFT_ALT_PRESSED;
inline constexpr std::uint32_t kCtrlMask = RIGHT_CTRL_PRESSED | LEFT_CTRL_PRESSED;

struct KeyEvent {
  std::uint16_t virtual_key_code = 0;   // Windows VK_ code of the key
  std::uint16_t virtual_scan_code = 0;  // PC keyboard scan code (set 1)
  std::uint8_t character = 0;           // 8-bit character; 0 = the key gives none
  std::uint32_t control_key_state = 0;  // the flags above

  bool operator==(const KeyEvent&) const = default;
};

}  // namespace opl2
