// Where a song file's parts lie: the header fields, the nine track ranges
// and the bank records, read from the file's bytes exactly as the loader
// finds them, plus whether the file is in the compact layout.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "song/song_format.h"

namespace opl2::analysis {

struct BankRecordAt {
  int offset = 0;  // of the patch number byte
  uint8_t patch_number = 0;
  InstrumentPatch patch{};
};

struct TrackRange {
  int start = 0;    // first offset: track_bound[c] + 1
  int length = 0;   // bytes the header gives the track (0 when empty)
  int in_file = 0;  // how many of them the file holds
};

struct SongLayout {
  int file_size = 0;
  bool is_song = false;      // first byte is 2
  bool full_header = false;  // at least 27 bytes; the fields below need it
  std::array<int, kTrackBoundCount> track_bound{};
  std::array<uint8_t, 4> reserved{};
  int bank_bound = 0;
  std::array<TrackRange, kChannelCount> tracks{};
  std::vector<BankRecordAt> records;
  bool bank_terminated = false;
  int terminator_offset = -1;
  int bank_end = 0;  // one past the last byte of the last whole record or the terminator
  bool compact = false;
};

SongLayout ReadLayout(std::span<const uint8_t> file);

// Little-endian 16-bit word at `offset` (the caller makes sure it exists).
int WordAt(std::span<const uint8_t> file, int offset);

}  // namespace opl2::analysis
