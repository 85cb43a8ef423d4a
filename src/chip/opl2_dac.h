// The chip's output stage: the 18-slot sum as the YM3014B DAC receives it.
#pragma once

#include <bit>
#include <cstdint>

namespace opl2 {

// Clamps the sum to 16 bits and cuts it to the DAC's floating-point format
// (3-bit exponent, 10-bit mantissa): the smallest exponent whose mantissa
// fits in -512..511, low bits dropped toward minus infinity. Returns the
// value the DAC represents.
inline int16_t DacValue(int32_t sum) {
  if (sum > 32767) sum = 32767;
  if (sum < -32768) sum = -32768;
  // The mantissa fits once the magnitude (one's complement for negatives,
  // matching the flooring shift) drops below 512.
  const auto magnitude = static_cast<uint32_t>(sum < 0 ? ~sum : sum);
  const int shift = std::bit_width(magnitude >> 9);
  return static_cast<int16_t>((sum >> shift) * (1 << shift));
}

}  // namespace opl2
