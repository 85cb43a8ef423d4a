// The song file container and the track event codes.
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

// Track event codes. Codes 0..126 other than 15 are notes; every code not
// listed here is followed by one ignored operand byte.
enum EventCode : uint8_t {
  EV_SET_INSTRUMENT = 0xFF,  // patch number
  EV_RESERVED_FE = 0xFE,     // 1 ignored byte
  EV_VOLUME = 0xFD,          // volume
  EV_TEMPO = 0xFC,           // Timer B value
  EV_TIE = 0xFB,             // no operand
  EV_DETUNE = 0xFA,          // low byte, high byte (signed 16-bit)
  EV_LOOP_START = 0xF9,      // 2 ignored bytes
  EV_LOOP_END = 0xF8,        // count, then 3 ignored bytes
  EV_LOOP_POINT = 0xF6,      // no operand
  EV_RESERVED_F4 = 0xF4,     // no operand
  EV_RESERVED_F3 = 0xF3,     // no operand
  EV_RESERVED_F2 = 0xF2,     // 4 ignored bytes
  EV_RESERVED_F1 = 0xF1,     // 1 ignored byte
  EV_RESERVED_DF = 0xDF,     // 1 ignored byte
  EV_SLIDE = 0xDA,           // start note, end note, length
  EV_END = 0x80,             // no operand
  EV_REST = 0x0F,            // length
  EV_LAST_NOTE = 0x7E,       // notes are 0x00..0x7E except 0x0F
};

}  // namespace opl2
