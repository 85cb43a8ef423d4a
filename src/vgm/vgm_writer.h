// Builds a VGM 1.51 file for one YM3812 from register writes stamped with
// the chip's master clock. Every position is converted from the master clock
// on its own (WaitOfClock: each write on its own chip sample wherever the
// 44.1 kHz grid allows) and the wait before a command is the difference to
// the position last reached, so rounding never adds up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vgm/gd3_tag.h"

namespace opl2::vgm {

// Where the looped part of a file begins: the index of its first write and
// its master clock (every write before it comes no later than `clock`, every
// write from it on no earlier).
struct LoopStart {
  size_t first_write = 0;
  uint64_t clock = 0;
};

// A finished file and the counts in its header.
struct VgmImage {
  std::vector<uint8_t> bytes;
  uint64_t total_samples = 0;
  uint64_t loop_samples = 0;  // 0: the file does not loop
};

class VgmWriter {
 public:
  // A write made at `clock` master clocks from the start. Clocks never go back.
  void AddWrite(uint64_t clock, uint8_t reg, uint8_t value) {
    writes_.push_back({clock, reg, value});
  }
  size_t write_count() const { return writes_.size(); }

  // The whole file: the data runs to `end_clock` (writes at or after it are
  // left out), loops from `loop` when given (and it starts before the end),
  // and ends with the tag. False, with a reason, when the song is too long
  // for the format's 32-bit counts.
  bool Finish(uint64_t end_clock, const std::optional<LoopStart>& loop, const Gd3Tag& tag,
              VgmImage* image, std::string* error) const;

 private:
  struct Write {
    uint64_t clock;
    uint8_t reg;
    uint8_t value;
  };
  std::vector<Write> writes_;
};

// Appends the shortest run of wait commands that adds up to `samples`.
void AppendWait(std::vector<uint8_t>& out, uint64_t samples);

}  // namespace opl2::vgm
