// Timed register streams (".regs" text): parsing, and rendering through the
// chip emulator.
//
// Format, one command per line; leading blanks are ignored, blank lines and
// lines starting with '#' are skipped:
//   w RR VV   write 0xVV to register 0xRR (two hex digits each, either case)
//   s N       advance N samples at the chip's native rate (decimal, N >= 0)
// Writes take effect in file order before the next sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "chip/opl2_chip.h"

namespace opl2 {

struct RegCommand {
  enum class Kind : uint8_t { kWrite, kAdvance };
  Kind kind = Kind::kWrite;
  uint8_t reg = 0;
  uint8_t value = 0;
  uint64_t samples = 0;  // kAdvance only
};

struct RegStream {
  std::vector<RegCommand> commands;
  uint64_t total_samples = 0;  // sum of every advance
};

// Parses a whole stream. On failure returns false and sets *error to
// "line N: <what is wrong>"; *out is then unspecified.
bool ParseRegStream(std::string_view text, RegStream* out, std::string* error);

// Renders the stream from a freshly reset chip into out, which must hold
// stream.total_samples values. The chip's one-sample input latency is taken
// out, so out[i] is the chip's sample i with every write made before sample
// i already applied.
void RenderRegStream(const RegStream& stream, Chip& chip, int16_t* out);

// Same, handing the samples to `sink` in blocks of at most kRenderBlock, so
// that long streams need no buffer of their own.
inline constexpr size_t kRenderBlock = 4096;
void RenderRegStream(const RegStream& stream, Chip& chip,
                     const std::function<void(const int16_t* samples, size_t n)>& sink);

// Same, into a vector sized to fit.
std::vector<int16_t> RenderRegStream(const RegStream& stream);

}  // namespace opl2
