// Any bytes as a VGM file for `opl2tool vgm --check`: the reader either
// refuses it with a reason or returns a file whose parts agree with each
// other; it never reads outside the bytes it is given.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vgm/vgm_reader.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_vgm: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A heap copy of exactly `size` bytes, so ASan sees any read past them.
  std::vector<uint8_t> copy(data, data + size);
  opl2::vgm::VgmFile file;
  std::string error;
  if (!opl2::vgm::ReadVgm(copy.data(), copy.size(), &file, &error)) {
    if (error.empty()) Fail("refused without a reason");
    return 0;
  }
  if (file.writes.size() != file.counts.ym3812_writes) Fail("write count");
  uint32_t last = 0;
  for (const opl2::vgm::VgmWriteAt& w : file.writes) {
    if (w.sample < last || w.sample > file.total_samples) Fail("write time");
    last = w.sample;
  }
  if (file.loop_first_write && *file.loop_first_write > file.writes.size()) Fail("loop write");
  if (file.end_offset >= size || file.data_offset > file.end_offset) Fail("offsets");
  return 0;
}
