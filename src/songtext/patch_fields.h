// The named bit fields of a 9-byte instrument patch. Each operator field
// lives in byte `base` (modulator) or `base` + 1 (carrier).
#pragma once

#include <cstdint>
#include <string_view>

#include "song/song_format.h"

namespace opl2::songtext {

struct OperatorField {
  const char* name;
  int base;  // 0, 2, 4 or 6
  int shift;
  int width;  // 1 = a flag, written as a bare word
};

// In the order the disassembler prints them.
inline constexpr OperatorField kOperatorFields[] = {
    {"mult", 0, 0, 4},    {"level", 2, 0, 6},      {"ksl", 2, 6, 2},     {"attack", 4, 4, 4},
    {"decay", 4, 0, 4},   {"sustain", 6, 4, 4},    {"release", 6, 0, 4}, {"tremolo", 0, 7, 1},
    {"vibrato", 0, 6, 1}, {"sustaining", 0, 5, 1}, {"ksr", 0, 4, 1},
};

inline constexpr int kFeedbackShift = 1;
inline constexpr int kFeedbackMax = 7;

const OperatorField* FindOperatorField(std::string_view name);

inline int FieldMax(const OperatorField& f) {
  return (1 << f.width) - 1;
}

inline int GetField(const InstrumentPatch& p, const OperatorField& f, int op) {
  return (p[static_cast<size_t>(f.base + op)] >> f.shift) & FieldMax(f);
}

inline void SetField(InstrumentPatch& p, const OperatorField& f, int op, int value) {
  uint8_t& b = p[static_cast<size_t>(f.base + op)];
  const int mask = FieldMax(f) << f.shift;
  b = static_cast<uint8_t>((b & ~mask) | ((value << f.shift) & mask));
}

}  // namespace opl2::songtext
