#include "player/us_keyboard.h"

namespace opl2 {
namespace {

constexpr std::uint16_t VK_BACK = 0x08;
constexpr std::uint16_t VK_TAB = 0x09;
constexpr std::uint16_t VK_RETURN = 0x0D;
constexpr std::uint16_t VK_ESCAPE = 0x1B;
constexpr std::uint16_t VK_SPACE = 0x20;

constexpr std::uint8_t kBackspaceCharacter = 8;
constexpr std::uint8_t kDelete = 127;
constexpr std::uint8_t kCtrlLetterFirst = 1;

// Set-1 scan codes of the letter keys A..Z.
constexpr std::uint16_t kLetterScanCodes[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                                49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

// The digit and symbol keys: the character without and with Shift.
struct SymbolKey {
  char unshifted;
  char shifted;
  std::uint16_t virtual_key_code;
  std::uint16_t scan_code;
};

constexpr SymbolKey kSymbolKeys[] = {
    {'`', '~', 0xC0, 41}, {'1', '!', '1', 2},    {'2', '@', '2', 3},   {'3', '#', '3', 4},
    {'4', '$', '4', 5},   {'5', '%', '5', 6},    {'6', '^', '6', 7},   {'7', '&', '7', 8},
    {'8', '*', '8', 9},   {'9', '(', '9', 10},   {'0', ')', '0', 11},  {'-', '_', 0xBD, 12},
    {'=', '+', 0xBB, 13}, {'[', '{', 0xDB, 26},  {']', '}', 0xDD, 27}, {'\\', '|', 0xDC, 43},
    {';', ':', 0xBA, 39}, {'\'', '"', 0xDE, 40}, {',', '<', 0xBC, 51}, {'.', '>', 0xBE, 52},
    {'/', '?', 0xBF, 53},
};

KeyEvent Make(std::uint16_t virtual_key_code, std::uint16_t scan_code, std::uint8_t character,
              std::uint32_t state = 0) {
  return KeyEvent{virtual_key_code, scan_code, character, state};
}

KeyEvent LetterKey(int index, std::uint8_t character, std::uint32_t state) {
  return Make(static_cast<std::uint16_t>('A' + index), kLetterScanCodes[index], character, state);
}

const SymbolKey* FindSymbolKey(char c) {
  for (const SymbolKey& key : kSymbolKeys) {
    if (key.unshifted == c || key.shifted == c) return &key;
  }
  return nullptr;
}

// Bytes 0..31 and 127.
KeyEvent ControlKey(std::uint8_t byte) {
  switch (byte) {
    case 0:
      return Make(VK_SPACE, 57, ' ', LEFT_CTRL_PRESSED);
    case kBackspaceCharacter:
    case kDelete:
      return Make(VK_BACK, 14, kBackspaceCharacter);
    case '\t':
      return Make(VK_TAB, 15, '\t');
    case '\r':
      return Make(VK_RETURN, 28, '\r');
    case 27:
      return Make(VK_ESCAPE, 1, 27);
    case 28:
      return Make(0xDC, 43, byte, LEFT_CTRL_PRESSED);
    case 29:
      return Make(0xDD, 27, byte, LEFT_CTRL_PRESSED);
    case 30:
      return Make('6', 7, byte, LEFT_CTRL_PRESSED | SHIFT_PRESSED);
    case 31:
      return Make(0xBD, 12, byte, LEFT_CTRL_PRESSED | SHIFT_PRESSED);
    default:
      return LetterKey(byte - kCtrlLetterFirst, byte, LEFT_CTRL_PRESSED);
  }
}

}  // namespace

KeyEvent KeyForByte(std::uint8_t byte) {
  if (byte >= 128) return Make(0, 0, byte);
  if (byte < ' ' || byte == kDelete) return ControlKey(byte);
  if (byte == ' ') return Make(VK_SPACE, 57, ' ');
  if (byte >= 'a' && byte <= 'z') return LetterKey(byte - 'a', byte, 0);
  if (byte >= 'A' && byte <= 'Z') return LetterKey(byte - 'A', byte, SHIFT_PRESSED);
  const SymbolKey* key = FindSymbolKey(static_cast<char>(byte));
  if (key == nullptr) return Make(0, 0, byte);  // not reached: every ASCII symbol has a key
  const std::uint32_t state = key->shifted == static_cast<char>(byte) ? SHIFT_PRESSED : 0;
  return Make(key->virtual_key_code, key->scan_code, byte, state);
}

}  // namespace opl2
