// Reads and checks a VGM file that drives one YM3812: the header, every
// command, the waits against the header's counts, and the GD3 tag. Anything
// it does not understand is an error, with the offset where it was found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vgm/gd3_tag.h"

namespace opl2::vgm {

struct VgmCommandCounts {
  uint64_t ym3812_writes = 0;
  uint64_t wait_16bit = 0;  // 0x61
  uint64_t wait_735 = 0;    // 0x62
  uint64_t wait_882 = 0;    // 0x63
  uint64_t wait_short = 0;  // 0x70..0x7F
};

struct VgmWriteAt {
  uint32_t sample;  // wait samples before the write
  uint8_t reg;
  uint8_t value;
};

struct VgmFile {
  // Header; offsets are absolute (0 when absent).
  uint32_t version = 0;  // BCD, 0x151 = 1.51
  uint32_t file_size = 0;
  uint32_t data_offset = 0;
  uint32_t end_offset = 0;  // the end command
  uint32_t gd3_offset = 0;
  uint32_t total_samples = 0;
  uint32_t loop_offset = 0;
  uint32_t loop_samples = 0;
  uint32_t ym3812_clock = 0;  // with its flag bits

  VgmCommandCounts counts;
  std::vector<VgmWriteAt> writes;
  // Index in `writes` of the first write at or after the loop offset.
  std::optional<size_t> loop_first_write;
  std::optional<Gd3Tag> gd3;
};

// False with a reason in *error when the file is not a well-formed VGM file
// this reader understands.
bool ReadVgm(const uint8_t* data, size_t size, VgmFile* file, std::string* error);

}  // namespace opl2::vgm
