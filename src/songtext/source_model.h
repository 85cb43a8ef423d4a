// What a song source says, before it is laid out into bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "song/song_format.h"
#include "songtext/diagnostics.h"

namespace opl2::songtext {

enum class Layout {
  kCompact,   // header, tracks 0..8 end to end, bank, terminator: all computed
  kExplicit,  // header fields and every part at a given offset
  kRaw,       // no structure: only data blocks (files that are not songs)
};

template <typename T>
struct Stated {
  std::optional<T> value;
  SourcePos pos;
};

struct PlacedBytes {
  SourcePos pos;
  std::optional<int> at;  // offset in the file (explicit and raw layouts)
  std::vector<uint8_t> bytes;
};

struct InstrumentDef {
  SourcePos pos;
  int number = 0;
  InstrumentPatch patch{};
};

struct SourceModel {
  Stated<Layout> layout;
  Stated<int> format;
  Stated<std::array<uint8_t, 4>> reserved;
  Stated<std::array<int, kTrackBoundCount>> bounds;
  Stated<int> bank_bound;
  Stated<int> size;
  Stated<int> bank_at;
  bool bank_unterminated = false;
  std::vector<InstrumentDef> instruments;  // in bank record order
  std::array<std::optional<PlacedBytes>, kChannelCount> channels;
  std::vector<PlacedBytes> data;
  // Where each patch number is first selected with 'inst'.
  std::array<std::optional<SourcePos>, kBankSlots> instrument_first_use;
};

}  // namespace opl2::songtext
