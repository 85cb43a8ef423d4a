// The track event codes: what each of the 256 byte values does and how many
// operand bytes follow it. The interpreter, the text source and the song
// analysis all read events through this table.
#pragma once

#include <array>
#include <cstdint>

namespace opl2 {

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

enum class EventKind : uint8_t {
  kNote,  // a note code (0x00..0x7E but 0x0F), then its length
  kRest,
  kSetInstrument,
  kVolume,
  kTempo,
  kTie,
  kDetune,
  kLoopStart,
  kLoopEnd,
  kLoopPoint,
  kSlide,
  kEnd,
  kIgnored,  // reserved and unlisted codes: their operand bytes are skipped
};

struct EventInfo {
  EventKind kind;
  uint8_t operands;  // bytes that follow the code
};

constexpr EventInfo DescribeEvent(uint8_t code) {
  switch (code) {
    case EV_SET_INSTRUMENT:
      return {EventKind::kSetInstrument, 1};
    case EV_VOLUME:
      return {EventKind::kVolume, 1};
    case EV_TEMPO:
      return {EventKind::kTempo, 1};
    case EV_TIE:
      return {EventKind::kTie, 0};
    case EV_DETUNE:
      return {EventKind::kDetune, 2};
    case EV_LOOP_START:
      return {EventKind::kLoopStart, 2};
    case EV_LOOP_END:
      return {EventKind::kLoopEnd, 4};
    case EV_LOOP_POINT:
      return {EventKind::kLoopPoint, 0};
    case EV_RESERVED_F4:
    case EV_RESERVED_F3:
      return {EventKind::kIgnored, 0};
    case EV_RESERVED_F2:
      return {EventKind::kIgnored, 4};
    case EV_SLIDE:
      return {EventKind::kSlide, 3};
    case EV_END:
      return {EventKind::kEnd, 0};
    case EV_REST:
      return {EventKind::kRest, 1};
    default:
      // 0xFE, 0xF1, 0xDF and every unlisted code take one ignored byte.
      return {code <= EV_LAST_NOTE ? EventKind::kNote : EventKind::kIgnored, 1};
  }
}

inline constexpr std::array<EventInfo, 256> kEventTable = [] {
  std::array<EventInfo, 256> table{};
  for (int code = 0; code < 256; ++code) table[code] = DescribeEvent(static_cast<uint8_t>(code));
  return table;
}();

constexpr EventKind KindOfEvent(uint8_t code) {
  return kEventTable[code].kind;
}
constexpr int OperandCount(uint8_t code) {
  return kEventTable[code].operands;
}

}  // namespace opl2
