// The GD3 tag at the end of a VGM file: eleven UTF-16LE strings (title,
// game, system and author in English and Japanese, then date, converter and
// notes). Held here as UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace opl2::vgm {

enum Gd3Field {
  kTitle,
  kTitleJp,
  kGame,
  kGameJp,
  kSystem,
  kSystemJp,
  kAuthor,
  kAuthorJp,
  kDate,
  kConverter,
  kNotes,
  kGd3FieldCount
};

struct Gd3Tag {
  std::array<std::string, kGd3FieldCount> fields;
};

// Display name of a field ("title", "game (Japanese)", ...).
const char* Gd3FieldName(int field);

// The whole tag: "Gd3 ", version 1.00, length, the strings. Invalid UTF-8
// becomes U+FFFD; a NUL would end a string early and is dropped.
std::vector<uint8_t> EncodeGd3(const Gd3Tag& tag);

// Reads a tag that starts at `data` and must end within `size` bytes.
// *used is set to the tag's whole length. False with a reason on error.
bool DecodeGd3(const uint8_t* data, size_t size, Gd3Tag* tag, size_t* used, std::string* error);

// UTF-8 <-> UTF-16 code units, each direction replacing what it cannot
// carry with U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace opl2::vgm
