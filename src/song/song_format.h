// The song file container: header, track bounds, bank records.
#pragma once

#include <array>
#include <cstdint>

namespace opl2 {

inline constexpr int kChannelCount = 9;
inline constexpr int kHeaderSize = 27;
inline constexpr int kSongFormatId = 2;
inline constexpr int kTrackBoundCount = kChannelCount + 1;
inline constexpr int kTrackBoundOffset = 1;  // track_bound[0..9], 16-bit little-endian each
inline constexpr int kBankBoundOffset = 25;  // after the four reserved bytes at 21..24
inline constexpr int kTrackBufferSize = 65'536;
inline constexpr int kPatchSize = 9;
inline constexpr int kBankSlots = 256;
inline constexpr int kBankRecordSize = 1 + kPatchSize;

using InstrumentPatch = std::array<uint8_t, kPatchSize>;

// Built-in patch 0, stored before a song's bank is read.
inline constexpr InstrumentPatch DEFAULT_PATCH = {0x01, 0x01, 0x10, 0x00, 0xF0,
                                                  0xF0, 0x77, 0x77, 0x00};

}  // namespace opl2
