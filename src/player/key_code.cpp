#include "player/key_code.h"

namespace opl2 {
namespace {

constexpr std::uint16_t kLastScanWithoutCode = 58;
constexpr std::uint16_t kTabScanCode = 15;
constexpr std::uint16_t kEscapeKeyCode = 27;

std::uint8_t CapsSwapped(std::uint8_t character) {
  for (std::size_t i = 0; i < CAPS_SWAP_FROM.size(); ++i) {
    if (CAPS_SWAP_FROM[i] == character) return CAPS_SWAP_TO[i];
  }
  return character;
}

}  // namespace

std::optional<std::int32_t> KeyCodeFor(const KeyEvent& event) {
  const std::uint32_t state = event.control_key_state;
  const bool alt = (state & kAltMask) != 0;
  const bool ctrl = (state & kCtrlMask) != 0;
  const bool shift = (state & SHIFT_PRESSED) != 0;
  const bool caps_lock = (state & CAPSLOCK_ON) != 0;
  const std::int32_t scan = event.virtual_scan_code;
  std::uint8_t character = event.character;

  if (character == 0 && scan > kLastScanWithoutCode) {
    if (alt) return -1000 - scan;
    if (ctrl) return -2000 - scan;
    return -scan;
  }
  if (character != 0 && alt) return event.virtual_key_code + 1000;
  if (scan == kTabScanCode && shift) return 15;
  if (event.virtual_key_code == kEscapeKeyCode) return 27;
  if (character != 0 && caps_lock) character = CapsSwapped(character);
  if (character != 0) return static_cast<std::int8_t>(character);
  return std::nullopt;
}

}  // namespace opl2
