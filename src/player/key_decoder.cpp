#include "player/key_decoder.h"

#include <array>
#include <optional>

#include "player/us_keyboard.h"

namespace opl2 {
namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kCsiIntroducer = '[';
constexpr std::uint8_t kSs3Introducer = 'O';
constexpr std::uint8_t kReplacementCharacter = '?';
constexpr std::uint8_t kBackspaceByte = 0x08;
constexpr std::uint8_t kDeleteByte = 0x7F;

// Longest escape sequence waited for; a longer one without a final byte is
// dropped as garbage.
constexpr std::size_t kMaxSequenceLength = 32;
constexpr std::size_t kMaxParameters = 4;

// The keys that give no character.
struct NamedKey {
  std::uint16_t virtual_key_code;
  std::uint16_t scan_code;
};

constexpr std::array<NamedKey, 12> kFunctionKeys = {{{0x70, 59},
                                                     {0x71, 60},
                                                     {0x72, 61},
                                                     {0x73, 62},
                                                     {0x74, 63},
                                                     {0x75, 64},
                                                     {0x76, 65},
                                                     {0x77, 66},
                                                     {0x78, 67},
                                                     {0x79, 68},
                                                     {0x7A, 87},
                                                     {0x7B, 88}}};
constexpr NamedKey kHome{0x24, 71};
constexpr NamedKey kUp{0x26, 72};
constexpr NamedKey kPageUp{0x21, 73};
constexpr NamedKey kLeft{0x25, 75};
constexpr NamedKey kClear{0x0C, 76};
constexpr NamedKey kRight{0x27, 77};
constexpr NamedKey kEnd{0x23, 79};
constexpr NamedKey kDown{0x28, 80};
constexpr NamedKey kPageDown{0x22, 81};
constexpr NamedKey kInsert{0x2D, 82};
constexpr NamedKey kDelete{0x2E, 83};

DecodeResult Incomplete() {
  return DecodeResult{};
}

DecodeResult Key(const KeyEvent& event, std::size_t consumed) {
  return DecodeResult{DecodeStatus::kKey, consumed, event};
}

DecodeResult NotAKey(std::size_t consumed) {
  return DecodeResult{DecodeStatus::kNotAKey, consumed, {}};
}

DecodeResult WithAlt(DecodeResult result, std::size_t extra_consumed) {
  if (result.status == DecodeStatus::kIncomplete) return result;
  result.consumed += extra_consumed;
  if (result.status == DecodeStatus::kKey) result.event.control_key_state |= LEFT_ALT_PRESSED;
  return result;
}

// ---- escape sequences ----------------------------------------------------

enum class SequenceStatus { kComplete, kIncomplete, kMalformed };

struct Sequence {
  SequenceStatus status = SequenceStatus::kIncomplete;
  std::size_t length = 0;           // bytes from the ESC on
  std::uint8_t introducer = 0;      // '[' or 'O'
  bool linux_function_key = false;  // ESC [ [ A..E
  std::span<const std::uint8_t> parameters;
  std::uint8_t final_byte = 0;
};

bool IsParameterByte(std::uint8_t b) {
  return b >= 0x30 && b <= 0x3F;
}
bool IsIntermediateByte(std::uint8_t b) {
  return b >= 0x20 && b <= 0x2F;
}
bool IsFinalByte(std::uint8_t b) {
  return b >= 0x40 && b <= 0x7E;
}
bool IsPlainNumber(std::span<const std::uint8_t> parameters) {
  if (parameters.empty()) return false;
  for (std::uint8_t b : parameters) {
    if (b < '0' || b > '9') return false;
  }
  return true;
}

// Finds the end of the CSI or SS3 sequence at the start of `bytes`
// (bytes[0] is ESC, bytes[1] the introducer).
Sequence ScanSequence(std::span<const std::uint8_t> bytes) {
  Sequence seq;
  seq.introducer = bytes[1];
  std::size_t i = 2;
  if (seq.introducer == kCsiIntroducer && i < bytes.size() && bytes[i] == '[') {
    seq.linux_function_key = true;
    ++i;
  }
  const std::size_t parameters_start = i;
  while (i < bytes.size() && IsParameterByte(bytes[i])) ++i;
  const std::size_t parameters_end = i;
  const auto parameters = bytes.subspan(parameters_start, parameters_end - parameters_start);
  // rxvt's Shift form of the "n ~" keys ends in "$", an intermediate byte by
  // the general syntax: after a plain number it closes the sequence.
  const bool dollar_ends = seq.introducer == kCsiIntroducer && !seq.linux_function_key &&
                           IsPlainNumber(parameters) && i < bytes.size() && bytes[i] == '$';
  while (!dollar_ends && i < bytes.size() && IsIntermediateByte(bytes[i])) ++i;

  if (i >= bytes.size()) {
    seq.length = bytes.size();
    seq.status = bytes.size() > kMaxSequenceLength ? SequenceStatus::kMalformed
                                                   : SequenceStatus::kIncomplete;
    return seq;
  }
  if (!IsFinalByte(bytes[i]) && !dollar_ends) {
    seq.status = SequenceStatus::kMalformed;
    seq.length = i;
    return seq;
  }
  seq.status = SequenceStatus::kComplete;
  seq.parameters = parameters;
  seq.final_byte = bytes[i];
  seq.length = i + 1;
  return seq;
}

// The numeric parameters "n;m;..." (empty ones are 0); nothing when they hold
// anything but digits and ";" (private sequences).
std::optional<std::array<int, kMaxParameters>> ParseParameters(
    std::span<const std::uint8_t> parameters) {
  std::array<int, kMaxParameters> values{};
  std::size_t index = 0;
  for (std::uint8_t b : parameters) {
    if (b == ';') {
      if (++index >= kMaxParameters) return std::nullopt;
    } else if (b >= '0' && b <= '9') {
      if (values[index] < 100000) values[index] = values[index] * 10 + (b - '0');
    } else {
      return std::nullopt;
    }
  }
  return values;
}

// xterm's modifier parameter: 1 + (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
std::uint32_t ModifierState(int parameter) {
  if (parameter < 2) return 0;
  const int bits = parameter - 1;
  std::uint32_t state = 0;
  if (bits & 1) state |= SHIFT_PRESSED;
  if (bits & (2 | 8)) state |= LEFT_ALT_PRESSED;
  if (bits & 4) state |= LEFT_CTRL_PRESSED;
  return state;
}

// The key of a "CSI n ~" sequence, and the modifiers its number implies.
struct NumberedKey {
  NamedKey key;
  std::uint32_t state = 0;
};

std::optional<NumberedKey> TildeKey(int number) {
  switch (number) {
    case 1:
    case 7:
      return NumberedKey{kHome, 0};
    case 2:
      return NumberedKey{kInsert, 0};
    case 3:
      return NumberedKey{kDelete, 0};
    case 4:
    case 8:
      return NumberedKey{kEnd, 0};
    case 5:
      return NumberedKey{kPageUp, 0};
    case 6:
      return NumberedKey{kPageDown, 0};
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return NumberedKey{kFunctionKeys[number - 11], 0};
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return NumberedKey{kFunctionKeys[number - 12], 0};
    case 23:
    case 24:
      return NumberedKey{kFunctionKeys[number - 13], 0};
    // rxvt's Shift+F3..F10 (its Shift+F1 and F2 are F11 and F12).
    case 25:
    case 26:
      return NumberedKey{kFunctionKeys[number - 23], SHIFT_PRESSED};
    case 28:
    case 29:
      return NumberedKey{kFunctionKeys[number - 24], SHIFT_PRESSED};
    case 31:
    case 32:
    case 33:
    case 34:
      return NumberedKey{kFunctionKeys[number - 25], SHIFT_PRESSED};
    default:
      return std::nullopt;
  }
}

// rxvt ends its "n ~" keys in another final byte for the modifiers held:
// "^" Ctrl, "$" Shift, "@" Ctrl+Shift. Nothing for other final bytes.
std::optional<std::uint32_t> NumberedKeyFinal(std::uint8_t final_byte) {
  switch (final_byte) {
    case '~':
      return 0;
    case '^':
      return LEFT_CTRL_PRESSED;
    case '$':
      return SHIFT_PRESSED;
    case '@':
      return LEFT_CTRL_PRESSED | SHIFT_PRESSED;
    default:
      return std::nullopt;
  }
}

// Final bytes that name the same key after CSI and SS3.
std::optional<NamedKey> LetterKey(std::uint8_t final_byte) {
  switch (final_byte) {
    case 'A':
      return kUp;
    case 'B':
      return kDown;
    case 'C':
      return kRight;
    case 'D':
      return kLeft;
    case 'E':
      return kClear;
    case 'H':
      return kHome;
    case 'F':
      return kEnd;
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      return kFunctionKeys[final_byte - 'P'];
    default:
      return std::nullopt;
  }
}

DecodeResult FromSequence(const Sequence& seq) {
  if (seq.linux_function_key) {
    if (seq.parameters.empty() && seq.final_byte >= 'A' && seq.final_byte <= 'E') {
      const NamedKey key = kFunctionKeys[seq.final_byte - 'A'];
      return Key(KeyEvent{key.virtual_key_code, key.scan_code, 0, 0}, seq.length);
    }
    return NotAKey(seq.length);
  }
  const auto parameters = ParseParameters(seq.parameters);
  if (!parameters) return NotAKey(seq.length);

  // CSI puts the modifier second ("1;5A"); SS3 variants put it first or second.
  int modifier = (*parameters)[1];
  if (seq.introducer == kSs3Introducer && modifier == 0) modifier = (*parameters)[0];
  const std::uint32_t state = ModifierState(modifier);

  if (seq.introducer == kCsiIntroducer && seq.final_byte == 'Z') {
    const KeyEvent shift_tab = KeyForByte('\t');
    return Key(KeyEvent{shift_tab.virtual_key_code, shift_tab.virtual_scan_code,
                        shift_tab.character, state | SHIFT_PRESSED},
               seq.length);
  }
  if (seq.introducer == kCsiIntroducer) {
    if (const auto final_state = NumberedKeyFinal(seq.final_byte)) {
      const auto numbered = TildeKey((*parameters)[0]);
      if (!numbered) return NotAKey(seq.length);
      return Key(KeyEvent{numbered->key.virtual_key_code, numbered->key.scan_code, 0,
                          state | numbered->state | *final_state},
                 seq.length);
    }
  }
  // rxvt's modified cursor keys: "CSI a".."CSI d" with Shift, "SS3 a".."SS3 d"
  // with Ctrl; the Linux console's and rxvt's keypad centre is "CSI G".
  std::uint8_t final_byte = seq.final_byte;
  std::uint32_t implied = 0;
  if (final_byte >= 'a' && final_byte <= 'd') {
    final_byte = static_cast<std::uint8_t>(final_byte - 'a' + 'A');
    implied = seq.introducer == kCsiIntroducer ? SHIFT_PRESSED : LEFT_CTRL_PRESSED;
  } else if (seq.introducer == kCsiIntroducer && final_byte == 'G') {
    final_byte = 'E';
  }
  const std::optional<NamedKey> key = LetterKey(final_byte);
  if (!key) return NotAKey(seq.length);
  return Key(KeyEvent{key->virtual_key_code, key->scan_code, 0, state | implied}, seq.length);
}

bool StartsSequence(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 2 && bytes[0] == kEsc &&
         (bytes[1] == kCsiIntroducer || bytes[1] == kSs3Introducer);
}

// ---- single keys -----------------------------------------------------------

bool IsContinuationByte(std::uint8_t b) {
  return (b & 0xC0) == 0x80;
}

// Bytes after the lead byte of a UTF-8 sequence; 0 when `lead` starts none.
std::size_t Utf8ContinuationCount(std::uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

// Backspace sends the terminal's erase character; Ctrl+Backspace sends the
// other of BS and DEL. They give the console's Backspace (character 8) and
// Ctrl+Backspace (character 127).
KeyEvent BackspaceKey(std::uint8_t byte, std::uint8_t erase_character) {
  KeyEvent key = KeyForByte(kBackspaceByte);
  const std::uint8_t backspace_byte =
      erase_character == kBackspaceByte ? kBackspaceByte : kDeleteByte;
  if (byte != backspace_byte) {
    key.character = kDeleteByte;
    key.control_key_state |= LEFT_CTRL_PRESSED;
  }
  return key;
}

// A key that starts with a byte other than ESC.
DecodeResult DecodeCharacterKey(std::span<const std::uint8_t> bytes, bool timed_out,
                                std::uint8_t erase_character) {
  const std::uint8_t lead = bytes[0];
  if (lead == kBackspaceByte || lead == kDeleteByte)
    return Key(BackspaceKey(lead, erase_character), 1);
  const std::size_t continuation = Utf8ContinuationCount(lead);
  if (continuation == 0) return Key(KeyForByte(lead), 1);

  std::uint32_t code_point = lead & (0x3F >> continuation);
  for (std::size_t k = 1; k <= continuation; ++k) {
    if (k >= bytes.size()) return timed_out ? Key(KeyForByte(lead), 1) : Incomplete();
    if (!IsContinuationByte(bytes[k])) return Key(KeyForByte(lead), 1);
    code_point = (code_point << 6) | (bytes[k] & 0x3F);
  }
  const std::uint8_t character =
      code_point <= 0xFF ? static_cast<std::uint8_t>(code_point) : kReplacementCharacter;
  return Key(KeyEvent{0, 0, character, 0}, continuation + 1);
}

// ESC ESC: Alt with an escape sequence (ESC ESC [ A is Alt+Up), or Alt+Escape.
DecodeResult DecodeAfterTwoEscapes(std::span<const std::uint8_t> bytes, bool timed_out) {
  const auto rest = bytes.subspan(1);
  if (rest.size() == 1 && !timed_out) return Incomplete();
  if (StartsSequence(rest)) {
    const Sequence seq = ScanSequence(rest);
    if (seq.status == SequenceStatus::kComplete) return WithAlt(FromSequence(seq), 1);
    if (seq.status == SequenceStatus::kIncomplete && !timed_out) return Incomplete();
  }
  KeyEvent alt_escape = KeyForByte(kEsc);
  alt_escape.control_key_state |= LEFT_ALT_PRESSED;
  return Key(alt_escape, 2);
}

}  // namespace

DecodeResult DecodeKey(std::span<const std::uint8_t> bytes, bool timed_out,
                       std::uint8_t erase_character) {
  if (bytes.empty()) return Incomplete();
  if (bytes[0] != kEsc) return DecodeCharacterKey(bytes, timed_out, erase_character);
  if (bytes.size() == 1) return timed_out ? Key(KeyForByte(kEsc), 1) : Incomplete();

  if (StartsSequence(bytes)) {
    const Sequence seq = ScanSequence(bytes);
    switch (seq.status) {
      case SequenceStatus::kComplete:
        return FromSequence(seq);
      case SequenceStatus::kMalformed:
        return NotAKey(seq.length);
      case SequenceStatus::kIncomplete:
        if (!timed_out) return Incomplete();
        break;  // nothing more came: ESC "[" or ESC "O" typed as Alt+key
    }
  }
  if (bytes[1] == kEsc) return DecodeAfterTwoEscapes(bytes, timed_out);
  return WithAlt(DecodeCharacterKey(bytes.subspan(1), timed_out, erase_character), 1);
}

}  // namespace opl2
