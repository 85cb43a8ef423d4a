#include "player/key_decoder.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "player/key_code.h"

namespace opl2 {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Decodes the whole of `input`, as the reader does once no more bytes come.
// Keys that do not count, and sequences that are no key, give no code.
std::vector<std::int32_t> CodesOf(const std::string& input) {
  std::vector<std::int32_t> codes;
  std::size_t pos = 0;
  while (pos < input.size()) {
    const DecodeResult r = DecodeKey(Bytes(input).subspan(pos), true);
    EXPECT_NE(r.status, DecodeStatus::kIncomplete);
    EXPECT_GE(r.consumed, 1u);
    if (r.status == DecodeStatus::kIncomplete || r.consumed == 0) break;
    pos += r.consumed;
    if (r.status == DecodeStatus::kKey) {
      if (const auto code = KeyCodeFor(r.event)) codes.push_back(*code);
    }
  }
  return codes;
}

struct KeyCase {
  const char* what;
  std::string bytes;
  std::int32_t code;
};

TEST(KeyDecoderTest, TerminalKeysGiveTheReadersCodes) {
  const std::vector<KeyCase> cases = {
      {"F1 (SS3)", "\x1bOP", -59},
      {"F1 (CSI ~)", "\x1b[11~", -59},
      {"F1 (Linux console)", "\x1b[[A", -59},
      {"F5 (Linux console)", "\x1b[[E", -63},
      {"Alt+F1", "\x1b[1;3P", -1059},
      {"Ctrl+F1", "\x1b[1;5P", -2059},
      {"Shift+F1", "\x1b[1;2P", -59},
      {"Shift+Alt+F1", "\x1b[1;4P", -1059},
      {"Shift+Ctrl+F1", "\x1b[1;6P", -2059},
      {"Alt+Ctrl+F1", "\x1b[1;7P", -1059},
      {"Shift+Alt+Ctrl+F1", "\x1b[1;8P", -1059},
      {"Ctrl+F1 (SS3 with modifier)", "\x1bO5P", -2059},
      {"Alt+F1 as ESC+F1", "\x1b\x1bOP", -1059},
      {"F4", "\x1bOS", -62},
      {"F5", "\x1b[15~", -63},
      {"F6", "\x1b[17~", -64},
      {"F10", "\x1b[21~", -68},
      {"F11", "\x1b[23~", -87},
      {"F12", "\x1b[24~", -88},
      {"Ctrl+F12", "\x1b[24;5~", -2088},
      {"Up", "\x1b[A", -72},
      {"Up (application mode)", "\x1bOA", -72},
      {"Ctrl+Up", "\x1b[1;5A", -2072},
      {"Alt+Up as ESC+Up", "\x1b\x1b[A", -1072},
      {"Down", "\x1b[B", -80},
      {"Right", "\x1b[C", -77},
      {"Left", "\x1b[D", -75},
      {"keypad centre", "\x1b[E", -76},
      {"Home", "\x1b[H", -71},
      {"Home (vt)", "\x1b[1~", -71},
      {"Home (rxvt)", "\x1b[7~", -71},
      {"End", "\x1b[F", -79},
      {"End (vt)", "\x1b[4~", -79},
      {"End (application mode)", "\x1bOF", -79},
      {"Page Up", "\x1b[5~", -73},
      {"Page Down", "\x1b[6~", -81},
      {"Insert", "\x1b[2~", -82},
      {"Delete", "\x1b[3~", -83},
      {"Shift+Delete", "\x1b[3;2~", -83},
      {"Alt+x", "\x1bx", 1088},
      {"Alt+Shift+x", "\x1bX", 1088},
      {"Alt+1",
       "\x1b"
       "1",
       1049},
      {"Alt+Enter", "\x1b\r", 1013},
      {"Alt+Ctrl+A", "\x1b\x01", 1065},
      {"Alt+[ (ESC [ with nothing after)", "\x1b[", 1219},
      {"Alt+Shift+O (ESC O with nothing after)", "\x1bO", 1079},
      {"Alt+Escape", "\x1b\x1b", 1027},
      {"Shift+Tab", "\x1b[Z", 15},
      {"Tab", "\t", 9},
      {"Escape", "\x1b", 27},
      {"Enter", "\r", 13},
      {"Ctrl+J", "\n", 10},
      {"Backspace (DEL)", "\x7f", 8},
      {"Ctrl+Backspace (BS, erase character DEL)", "\b", 127},
      {"Ctrl+A", "\x01", 1},
      {"Ctrl+C", "\x03", 3},
      {"Ctrl+Z", "\x1a", 26},
      {"Ctrl+Space", std::string(1, '\0'), 32},
      {"Ctrl+backslash", "\x1c", 28},
      {"Ctrl+_", "\x1f", 31},
      {"space", " ", 32},
      {"a", "a", 97},
      {"Shift+a", "A", 65},
      {"1", "1", 49},
      {"0", "0", 48},
      {"Shift+1", "!", 33},
      {"tilde", "~", 126},
      {"char 200 as UTF-8", "\xc3\x88", -56},
      {"char 200 as a byte", "\xc8", -56},
      {"char 233 as UTF-8", "\xc3\xa9", -23},
      {"char 160 as UTF-8", "\xc2\xa0", -96},
      {"outside the 8-bit range", "\xe2\x82\xac", '?'},
      {"four-byte UTF-8", "\xf0\x9f\x8e\xb5", '?'},
      {"stray continuation byte", "\x88", -120},
      {"Alt+char 233", "\x1b\xc3\xa9", 1000},
  };
  for (const KeyCase& c : cases) {
    EXPECT_EQ(CodesOf(c.bytes), std::vector<std::int32_t>{c.code}) << c.what;
  }
}

// rxvt and the Linux console send some keys differently from xterm; each
// must give the code its xterm twin gives, which is the console's code for
// that key (Shift not looked at for keys without a character).
TEST(KeyDecoderTest, RxvtAndLinuxConsoleKeysGiveTheCodesOfTheirXtermTwins) {
  struct Twin {
    const char* what;
    std::string rxvt;
    std::string xterm;
    std::int32_t code;
  };
  const std::vector<Twin> twins = {
      {"Shift+Up", "\x1b[a", "\x1b[1;2A", -72},
      {"Shift+Down", "\x1b[b", "\x1b[1;2B", -80},
      {"Shift+Right", "\x1b[c", "\x1b[1;2C", -77},
      {"Shift+Left", "\x1b[d", "\x1b[1;2D", -75},
      {"Ctrl+Up", "\x1bOa", "\x1b[1;5A", -2072},
      {"Ctrl+Down", "\x1bOb", "\x1b[1;5B", -2080},
      {"Ctrl+Right", "\x1bOc", "\x1b[1;5C", -2077},
      {"Ctrl+Left", "\x1bOd", "\x1b[1;5D", -2075},
      {"Alt+Ctrl+Left", "\x1b\x1bOd", "\x1b[1;7D", -1075},
      {"Ctrl+Insert", "\x1b[2^", "\x1b[2;5~", -2082},
      {"Ctrl+Delete", "\x1b[3^", "\x1b[3;5~", -2083},
      {"Ctrl+Home", "\x1b[7^", "\x1b[1;5H", -2071},
      {"Ctrl+End", "\x1b[8^", "\x1b[1;5F", -2079},
      {"Ctrl+Page Up", "\x1b[5^", "\x1b[5;5~", -2073},
      {"Ctrl+F1", "\x1b[11^", "\x1b[1;5P", -2059},
      {"Ctrl+F12", "\x1b[24^", "\x1b[24;5~", -2088},
      {"Shift+Home", "\x1b[7$", "\x1b[1;2H", -71},
      {"Shift+Page Down", "\x1b[6$", "\x1b[6;2~", -81},
      {"Shift+Delete", "\x1b[3$", "\x1b[3;2~", -83},
      {"Shift+F11", "\x1b[23$", "\x1b[23;2~", -87},
      {"Ctrl+Shift+Insert", "\x1b[2@", "\x1b[2;6~", -2082},
      {"Ctrl+Shift+F5", "\x1b[15@", "\x1b[15;6~", -2063},
      {"Alt+Shift+End", "\x1b\x1b[8$", "\x1b[1;4F", -1079},
      {"Shift+F3", "\x1b[25~", "\x1b[1;2R", -61},
      {"Shift+F4", "\x1b[26~", "\x1b[1;2S", -62},
      {"Shift+F5", "\x1b[28~", "\x1b[15;2~", -63},
      {"Shift+F6", "\x1b[29~", "\x1b[17;2~", -64},
      {"Shift+F7", "\x1b[31~", "\x1b[18;2~", -65},
      {"Shift+F10", "\x1b[34~", "\x1b[21;2~", -68},
      {"Ctrl+Shift+F3", "\x1b[25^", "\x1b[1;6R", -2061},
      {"keypad centre", "\x1b[G", "\x1b[E", -76},
  };
  for (const Twin& t : twins) {
    EXPECT_EQ(CodesOf(t.rxvt), std::vector<std::int32_t>{t.code}) << t.what << " (rxvt)";
    EXPECT_EQ(CodesOf(t.xterm), std::vector<std::int32_t>{t.code}) << t.what << " (xterm)";
    // Whole the moment it arrives: no wait for bytes that do not come.
    const DecodeResult r = DecodeKey(Bytes(t.rxvt), false);
    EXPECT_EQ(r.status, DecodeStatus::kKey) << t.what;
    EXPECT_EQ(r.consumed, t.rxvt.size()) << t.what;
  }
  // "$" ends the sequence at once: the key typed next is a key of its own.
  EXPECT_EQ(CodesOf("\x1b[3$x\x1b[7$\x1b[a"), (std::vector<std::int32_t>{-83, 'x', -71, -72}));
  // After anything but a plain number "$" stays an intermediate byte, as in
  // a mode report: the whole report is skipped.
  EXPECT_EQ(CodesOf("\x1b[?1;2$yq"), std::vector<std::int32_t>{'q'});
  EXPECT_EQ(CodesOf("\x1b[4;2$yq"), std::vector<std::int32_t>{'q'});
}

TEST(KeyDecoderTest, BackspaceAndCtrlBackspaceFollowTheEraseCharacter) {
  // The console gives 8 for Backspace and 127 for Ctrl+Backspace; a terminal
  // sends its erase character for Backspace and the other byte with Ctrl.
  struct Case {
    std::uint8_t erase;
    std::string bytes;
    std::int32_t code;
  };
  for (const Case& c : std::vector<Case>{{0x7F, "\x7f", 8},
                                         {0x7F, "\b", 127},
                                         {0x08, "\b", 8},
                                         {0x08, "\x7f", 127},
                                         {0x7F, "\x1b\x7f", 1008},
                                         {0x08, "\x1b\x08", 1008}}) {
    const DecodeResult r = DecodeKey(Bytes(c.bytes), true, c.erase);
    ASSERT_EQ(r.status, DecodeStatus::kKey);
    EXPECT_EQ(r.consumed, c.bytes.size());
    EXPECT_EQ(r.event.virtual_key_code, 0x08);
    EXPECT_EQ(KeyCodeFor(r.event), c.code) << int{c.erase} << " " << int{c.bytes.back()};
  }
}

TEST(KeyDecoderTest, DigitsGiveTheirCharacters) {
  for (char d = '0'; d <= '9'; ++d) {
    EXPECT_EQ(CodesOf(std::string(1, d)), std::vector<std::int32_t>{d});
  }
}

TEST(KeyDecoderTest, CapsLockSwapsTheDecodedDigitKeys) {
  // A terminal cannot tell Caps Lock; with the flag set the swap applies.
  for (const auto& [typed, expected] : std::vector<std::pair<std::string, std::int32_t>>{
           {"1", 33}, {"!", 49}, {"9", 40}, {"(", 57}, {"a", 97}}) {
    DecodeResult r = DecodeKey(Bytes(typed), true);
    ASSERT_EQ(r.status, DecodeStatus::kKey);
    r.event.control_key_state |= CAPSLOCK_ON;
    EXPECT_EQ(KeyCodeFor(r.event), expected) << typed;
  }
}

TEST(KeyDecoderTest, KeyEventsCarryUsKeyboardFields) {
  struct FieldCase {
    std::string bytes;
    KeyEvent event;
  };
  const std::vector<FieldCase> cases = {
      {"a", {'A', 30, 'a', 0}},
      {"A", {'A', 30, 'A', SHIFT_PRESSED}},
      {"m", {'M', 50, 'm', 0}},
      {"q", {'Q', 16, 'q', 0}},
      {"z", {'Z', 44, 'z', 0}},
      {"1", {'1', 2, '1', 0}},
      {"!", {'1', 2, '!', SHIFT_PRESSED}},
      {"0", {'0', 11, '0', 0}},
      {" ", {0x20, 57, ' ', 0}},
      {"-", {0xBD, 12, '-', 0}},
      {"\"", {0xDE, 40, '"', SHIFT_PRESSED}},
      {"\r", {0x0D, 28, 13, 0}},
      {"\t", {0x09, 15, 9, 0}},
      {"\x7f", {0x08, 14, 8, 0}},
      {"\x03", {'C', 46, 3, LEFT_CTRL_PRESSED}},
      {"\x1b", {0x1B, 1, 27, 0}},
      {"\x1bx", {'X', 45, 'x', LEFT_ALT_PRESSED}},
      {"\x1b[Z", {0x09, 15, 9, SHIFT_PRESSED}},
      {"\x1bOP", {0x70, 59, 0, 0}},
      {"\x1b[1;8P", {0x70, 59, 0, SHIFT_PRESSED | LEFT_ALT_PRESSED | LEFT_CTRL_PRESSED}},
      {"\x1b[A", {0x26, 72, 0, 0}},
      {"\x1b[6~", {0x22, 81, 0, 0}},
      {"\x1b[2~", {0x2D, 82, 0, 0}},
      {"\x1b[24~", {0x7B, 88, 0, 0}},
      {"\xc3\x88", {0, 0, 200, 0}},
  };
  for (const FieldCase& c : cases) {
    const DecodeResult r = DecodeKey(Bytes(c.bytes), true);
    ASSERT_EQ(r.status, DecodeStatus::kKey) << c.bytes;
    EXPECT_EQ(r.consumed, c.bytes.size()) << c.bytes;
    EXPECT_EQ(r.event, c.event) << c.bytes;
  }
}

TEST(KeyDecoderTest, PrintableAsciiMapsOntoDistinctUsKeys) {
  // 95 characters on 48 keys: a key's two characters share VK and scan code,
  // and no two keys share either.
  std::map<std::pair<std::uint16_t, std::uint16_t>, int> characters_per_key;
  std::set<std::uint16_t> scan_codes;
  std::set<std::uint16_t> key_codes;
  for (int c = 32; c < 127; ++c) {
    const DecodeResult r = DecodeKey(Bytes(std::string(1, static_cast<char>(c))), false);
    ASSERT_EQ(r.status, DecodeStatus::kKey) << c;
    EXPECT_EQ(r.event.character, c);
    EXPECT_NE(r.event.virtual_key_code, 0) << c;
    EXPECT_EQ(r.event.control_key_state & ~SHIFT_PRESSED, 0u) << c;
    ++characters_per_key[{r.event.virtual_key_code, r.event.virtual_scan_code}];
    scan_codes.insert(r.event.virtual_scan_code);
    key_codes.insert(r.event.virtual_key_code);
  }
  EXPECT_EQ(characters_per_key.size(), 48u);
  EXPECT_EQ(scan_codes.size(), 48u);
  EXPECT_EQ(key_codes.size(), 48u);
  for (const auto& [key, count] : characters_per_key) {
    EXPECT_EQ(count, key.first == 0x20 ? 1 : 2) << "VK " << key.first;
  }
}

TEST(KeyDecoderTest, SeveralKeysInOneRead) {
  EXPECT_EQ(CodesOf("ab\x1b[A\x1bOP\r"), (std::vector<std::int32_t>{97, 98, -72, -59, 13}));
  EXPECT_EQ(CodesOf("\x1b[1;5P\x1bx1\x1b[Z\x1b"),
            (std::vector<std::int32_t>{-2059, 1088, 49, 15, 27}));
  EXPECT_EQ(CodesOf("\xc3\x88\xc3\xa9z"), (std::vector<std::int32_t>{-56, -23, 122}));
}

TEST(KeyDecoderTest, IncompleteSequencesWaitForMoreBytes) {
  // Each prefix of a longer key is incomplete until the wait is over.
  for (const std::string prefix :
       {"\x1b", "\x1b[", "\x1b[1", "\x1b[1;", "\x1b[1;5", "\x1bO", "\x1b\x1b", "\x1b\x1b[",
        "\x1b\x1b[1;", "\x1b[[", "\xc3", "\xe2\x82", "\xf0\x9f\x8e", "\x1b\xc3"}) {
    const DecodeResult r = DecodeKey(Bytes(prefix), false);
    EXPECT_EQ(r.status, DecodeStatus::kIncomplete) << prefix.size() << " bytes";
    EXPECT_EQ(r.consumed, 0u);
  }
  EXPECT_EQ(DecodeKey({}, true).status, DecodeStatus::kIncomplete);
}

TEST(KeyDecoderTest, LoneEscapeAndSequenceSplitAcrossReads) {
  // The reader appends each read to what was left and decodes again.
  std::string pending = "\x1b";
  EXPECT_EQ(DecodeKey(Bytes(pending), false).status, DecodeStatus::kIncomplete);
  pending += "[1;";
  EXPECT_EQ(DecodeKey(Bytes(pending), false).status, DecodeStatus::kIncomplete);
  pending += "3Px";
  DecodeResult r = DecodeKey(Bytes(pending), false);
  ASSERT_EQ(r.status, DecodeStatus::kKey);
  EXPECT_EQ(r.consumed, 6u) << "the key after the sequence is left for the next call";
  EXPECT_EQ(KeyCodeFor(r.event), -1059);

  // The same first byte with nothing after it in time is Escape.
  r = DecodeKey(Bytes("\x1b"), true);
  ASSERT_EQ(r.status, DecodeStatus::kKey);
  EXPECT_EQ(r.consumed, 1u);
  EXPECT_EQ(KeyCodeFor(r.event), 27);

  // A complete key needs no wait, even with a partial one behind it.
  r = DecodeKey(Bytes("a\x1b"), false);
  ASSERT_EQ(r.status, DecodeStatus::kKey);
  EXPECT_EQ(r.consumed, 1u);
  EXPECT_EQ(DecodeKey(Bytes("\x1b[A\x1b"), false).consumed, 3u);
}

TEST(KeyDecoderTest, SequencesThatAreNoKeyAreSkippedWhole) {
  const std::vector<std::pair<std::string, std::size_t>> cases = {
      {"\x1b[I", 3},      // focus in
      {"\x1b[O", 3},      // focus out
      {"\x1b[?1;2c", 7},  // device attributes
      {"\x1b[200~", 6},   // paste start
      {"\x1b[99~", 5},    // unknown tilde key
      {"\x1bOz", 3},      // unknown SS3 key
      {"\x1b[[Z", 4},     // unknown console key
      {"\x1b[1\x01", 3},  // broken off by a control byte
  };
  for (const auto& [bytes, consumed] : cases) {
    const DecodeResult r = DecodeKey(Bytes(bytes), false);
    EXPECT_EQ(r.status, DecodeStatus::kNotAKey) << bytes.substr(1);
    EXPECT_EQ(r.consumed, consumed) << bytes.substr(1);
  }
  EXPECT_EQ(CodesOf("\x1b[I"
                    "a"
                    "\x1b[200~"
                    "b"),
            (std::vector<std::int32_t>{97, 98}));
  EXPECT_EQ(CodesOf("\x1b[1\x01"), (std::vector<std::int32_t>{1}));

  // A sequence that never ends is given up rather than waited for.
  const std::string endless = "\x1b[" + std::string(40, '1');
  const DecodeResult r = DecodeKey(Bytes(endless), false);
  EXPECT_EQ(r.status, DecodeStatus::kNotAKey);
  EXPECT_EQ(r.consumed, endless.size());
}

}  // namespace
}  // namespace opl2
