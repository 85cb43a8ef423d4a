#include "songtext/notes.h"

#include <cctype>

namespace opl2::songtext {
namespace {

constexpr const char* kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                    "F#", "G",  "G#", "A",  "A#", "B"};
constexpr int kLetterSemitone[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G

}  // namespace

std::string NoteName(int code) {
  if (!IsValidNoteCode(code)) return {};
  return std::string(kNames[code & 0x0F]) + std::to_string(code >> 4);
}

std::optional<uint8_t> ParseNoteName(std::string_view text) {
  if (text.size() < 2 || text.size() > 3) return std::nullopt;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (letter < 'A' || letter > 'G') return std::nullopt;
  int semitone = kLetterSemitone[letter - 'A'];
  size_t i = 1;
  if (text.size() == 3) {
    if (text[1] == '#' || text[1] == 's') {
      if (letter == 'B') return std::nullopt;  // B# is C of the next octave
      ++semitone;
    } else if (text[1] == 'b') {
      if (letter == 'C') return std::nullopt;  // Cb is B of the octave below
      --semitone;
    } else {
      return std::nullopt;
    }
    i = 2;
  }
  if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  const int octave = text[i] - '0';
  if (octave > kMaxOctave) return std::nullopt;
  return static_cast<uint8_t>(octave * 16 + semitone);
}

bool LooksLikeNoteName(std::string_view text) {
  if (text.size() < 2) return false;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (letter < 'A' || letter > 'G') return false;
  size_t i = 1;
  if (text[i] == '#' || text[i] == 's' || text[i] == 'b') ++i;
  if (i >= text.size()) return false;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace opl2::songtext
