// Note codes: the high nibble is the octave (the chip's block), the low
// nibble the semitone 0..11.
#pragma once

namespace opl2 {

inline constexpr int kSemitones = 12;
inline constexpr int kMaxOctave = 7;

// True for a code that plays as a note: octave 0..7, semitone 0..11. Codes
// with a semitone of 12..15 or an octave of 8..15 are not notes.
constexpr bool IsValidNoteCode(int code) {
  return code >= 0 && code <= 0x7F && (code & 0x0F) < kSemitones;
}

constexpr int NoteOctave(int code) {
  return code >> 4;
}
constexpr int NoteSemitone(int code) {
  return code & 0x0F;
}

}  // namespace opl2
