// Note names for note codes: the high nibble is the octave (the chip's
// block), the low nibble the semitone 0..11. "C4" is 0x40, "F#3" is 0x36,
// "Bb5" is 0x5A.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "song/note_code.h"

namespace opl2::songtext {

// "C4", "F#3" (sharps only); empty for a byte that is not a valid note.
std::string NoteName(int code);

// Parses a note name: a letter A..G (either case), an optional '#' or 's'
// (sharp) or 'b' (flat), and an octave digit 0..7. Cb and B# are refused,
// since they would leave the octave. nullopt when `text` is not a note name.
std::optional<uint8_t> ParseNoteName(std::string_view text);

// True when `text` looks like a note name (letter, accidental, digits), even
// one out of range such as "C9"; used to give a better message.
bool LooksLikeNoteName(std::string_view text);

}  // namespace opl2::songtext
