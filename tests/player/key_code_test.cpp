#include "player/key_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <vector>

#include "player/us_keyboard.h"

namespace opl2 {
namespace {

KeyEvent NoCharacter(std::uint16_t vk, std::uint16_t scan, std::uint32_t state = 0) {
  return KeyEvent{vk, scan, 0, state};
}

KeyEvent Character(std::uint16_t vk, std::uint16_t scan, std::uint8_t c, std::uint32_t state = 0) {
  return KeyEvent{vk, scan, c, state};
}

struct CodeCase {
  const char* what;
  KeyEvent event;
  std::optional<std::int32_t> code;
};

TEST(KeyCodeForTest, DecisionRulesInOrder) {
  const std::vector<CodeCase> cases = {
      // Rule 1: no character, scan code above 58.
      {"F1", NoCharacter(0x70, 59), -59},
      {"Alt+F1 (left)", NoCharacter(0x70, 59, LEFT_ALT_PRESSED), -1059},
      {"Alt+F1 (right)", NoCharacter(0x70, 59, RIGHT_ALT_PRESSED), -1059},
      {"Ctrl+F1 (left)", NoCharacter(0x70, 59, LEFT_CTRL_PRESSED), -2059},
      {"Ctrl+F1 (right)", NoCharacter(0x70, 59, RIGHT_CTRL_PRESSED), -2059},
      {"Alt beats Ctrl", NoCharacter(0x70, 59, LEFT_ALT_PRESSED | RIGHT_CTRL_PRESSED), -1059},
      {"Shift is not looked at", NoCharacter(0x70, 59, SHIFT_PRESSED), -59},
      {"Up", NoCharacter(0x26, 72), -72},
      {"F12", NoCharacter(0x7B, 88), -88},
      {"other flags ignored", NoCharacter(0x26, 72, 0x0100 | 0x0020 | 0x0040), -72},
      // Rule 2: a character with Alt.
      {"Alt+x", Character('X', 45, 'x', LEFT_ALT_PRESSED), 1088},
      {"Alt+1 with Caps Lock", Character('1', 2, '1', RIGHT_ALT_PRESSED | CAPSLOCK_ON), 1049},
      {"Alt+Shift+Tab", Character(9, 15, 9, LEFT_ALT_PRESSED | SHIFT_PRESSED), 1009},
      {"Alt+Escape", Character(27, 1, 27, LEFT_ALT_PRESSED), 1027},
      // Rule 3: scan code 15 with Shift, whatever the character.
      {"Shift+Tab", Character(9, 15, 9, SHIFT_PRESSED), 15},
      {"Shift+Tab without character", NoCharacter(9, 15, SHIFT_PRESSED), 15},
      {"Tab", Character(9, 15, 9), 9},
      // Rule 4: virtual-key code 27.
      {"Escape", Character(27, 1, 27), 27},
      {"Escape without character", NoCharacter(27, 1), 27},
      // Rules 5 and 6: the character, Caps Lock swap, signed byte.
      {"Enter", Character(13, 28, 13), 13},
      {"Ctrl+C", Character('C', 46, 3, LEFT_CTRL_PRESSED), 3},
      {"1", Character('1', 2, '1'), 49},
      {"Shift+1", Character('1', 2, '!', SHIFT_PRESSED), 33},
      {"1 with Caps Lock", Character('1', 2, '1', CAPSLOCK_ON), 33},
      {"Shift+1 with Caps Lock", Character('1', 2, '!', SHIFT_PRESSED | CAPSLOCK_ON), 49},
      {"grave with Caps Lock", Character(0xC0, 41, '`', CAPSLOCK_ON), '~'},
      {"slash with Caps Lock", Character(0xBF, 53, '/', CAPSLOCK_ON), '?'},
      {"letters are not swapped", Character('A', 30, 'a', CAPSLOCK_ON), 'a'},
      {"char 200", Character(0, 0, 200), -56},
      {"char 128", Character(0, 0, 128), -128},
      {"char 255", Character(0, 0, 255), -1},
      // Rule 7: no character, scan code 58 or less.
      {"Shift alone", NoCharacter(0x10, 42, SHIFT_PRESSED), std::nullopt},
      {"Ctrl alone", NoCharacter(0x11, 29, LEFT_CTRL_PRESSED), std::nullopt},
      {"Alt alone", NoCharacter(0x12, 56, LEFT_ALT_PRESSED), std::nullopt},
      {"Caps Lock", NoCharacter(0x14, 58, CAPSLOCK_ON), std::nullopt},
      {"Ctrl+@", NoCharacter('2', 3, LEFT_CTRL_PRESSED | SHIFT_PRESSED), std::nullopt},
  };
  for (const CodeCase& c : cases) {
    EXPECT_EQ(KeyCodeFor(c.event), c.code) << c.what;
  }
}

TEST(CapsSwapTest, TablesPairEachCharacterWithItsPartner) {
  const std::set<std::uint8_t> from(CAPS_SWAP_FROM.begin(), CAPS_SWAP_FROM.end());
  const std::set<std::uint8_t> to(CAPS_SWAP_TO.begin(), CAPS_SWAP_TO.end());
  EXPECT_EQ(from.size(), 42u) << "no character twice";
  EXPECT_EQ(to.size(), 42u);
  EXPECT_EQ(from, to);
  for (std::size_t i = 0; i < CAPS_SWAP_FROM.size(); ++i) {
    const auto partner = std::find(CAPS_SWAP_FROM.begin(), CAPS_SWAP_FROM.end(), CAPS_SWAP_TO[i]);
    ASSERT_NE(partner, CAPS_SWAP_FROM.end());
    EXPECT_EQ(CAPS_SWAP_TO[partner - CAPS_SWAP_FROM.begin()], CAPS_SWAP_FROM[i])
        << "swapping twice gives the character back: " << CAPS_SWAP_FROM[i];
  }
}

TEST(CapsSwapTest, PairsAreTheTwoCharactersOfOneUsKey) {
  // Checked against the keyboard layout: the first half of CAPS_SWAP_FROM is
  // the shifted characters, the second the unshifted, and each pair shares a key.
  for (std::size_t i = 0; i < CAPS_SWAP_FROM.size(); ++i) {
    const KeyEvent from = KeyForByte(CAPS_SWAP_FROM[i]);
    const KeyEvent to = KeyForByte(CAPS_SWAP_TO[i]);
    EXPECT_EQ(from.virtual_scan_code, to.virtual_scan_code) << CAPS_SWAP_FROM[i];
    EXPECT_EQ(from.virtual_key_code, to.virtual_key_code) << CAPS_SWAP_FROM[i];
    const bool from_shifted = (from.control_key_state & SHIFT_PRESSED) != 0;
    EXPECT_EQ(from_shifted, i < 21) << CAPS_SWAP_FROM[i];
    EXPECT_NE(from_shifted, (to.control_key_state & SHIFT_PRESSED) != 0) << CAPS_SWAP_FROM[i];
  }
}

}  // namespace
}  // namespace opl2
