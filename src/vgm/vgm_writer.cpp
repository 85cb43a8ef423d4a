#include "vgm/vgm_writer.h"

#include <algorithm>
#include <cstdint>

#include "vgm/vgm_format.h"

namespace opl2::vgm {
namespace {

void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void AppendWait(std::vector<uint8_t>& out, uint64_t samples) {
  while (samples > 0) {
    if (samples == 735) {
      out.push_back(kCmdWait735);
      return;
    }
    if (samples == 882) {
      out.push_back(kCmdWait882);
      return;
    }
    if (samples <= 16) {
      out.push_back(static_cast<uint8_t>(kCmdShortWait + samples - 1));
      return;
    }
    const uint64_t n = samples <= kLongestWait ? samples : kLongestWait;
    out.push_back(kCmdWait);
    out.push_back(static_cast<uint8_t>(n & 0xFF));
    out.push_back(static_cast<uint8_t>(n >> 8));
    samples -= n;
  }
}

bool VgmWriter::Finish(uint64_t end_clock, const std::optional<LoopStart>& loop, const Gd3Tag& tag,
                       VgmImage* image, std::string* error) const {
  const uint64_t total = WaitOfClock(end_clock);
  if (total > UINT32_MAX) {
    *error = "the song is longer than a VGM file can count (" + std::to_string(total) + " samples)";
    return false;
  }
  std::optional<uint64_t> loop_sample;
  if (loop && loop->clock < end_clock && WaitOfClock(loop->clock) < total) {
    loop_sample = WaitOfClock(loop->clock);
  }

  std::vector<uint8_t>& out = image->bytes;
  out.assign(kDataStart, 0);
  uint64_t at = 0;  // the position the waits so far have reached
  size_t loop_at = 0;
  for (size_t i = 0;; ++i) {
    if (loop_sample && i == loop->first_write) {
      AppendWait(out, *loop_sample - at);
      at = *loop_sample;
      loop_at = out.size();
    }
    if (i == writes_.size() || writes_[i].clock >= end_clock) break;
    const uint64_t sample = std::max(at, WaitOfClock(writes_[i].clock));  // never back
    AppendWait(out, sample - at);
    at = sample;
    out.push_back(kCmdYm3812Write);
    out.push_back(writes_[i].reg);
    out.push_back(writes_[i].value);
  }
  AppendWait(out, total - at);
  out.push_back(kCmdEnd);

  const size_t gd3_at = out.size();
  const std::vector<uint8_t> gd3 = EncodeGd3(tag);
  out.insert(out.end(), gd3.begin(), gd3.end());
  if (out.size() > UINT32_MAX) {
    *error = "the file would be larger than a VGM file can address";
    return false;
  }

  std::copy(kIdent, kIdent + 4, out.begin());
  Set32(out, kEofOffset, static_cast<uint32_t>(out.size() - kEofOffset));
  Set32(out, kVersionOffset, kVersion151);
  Set32(out, kGd3Offset, static_cast<uint32_t>(gd3_at - kGd3Offset));
  Set32(out, kTotalSamplesOffset, static_cast<uint32_t>(total));
  image->total_samples = total;
  image->loop_samples = 0;
  if (loop_sample && loop_at != 0) {
    image->loop_samples = total - *loop_sample;
    Set32(out, kLoopOffset, static_cast<uint32_t>(loop_at - kLoopOffset));
    Set32(out, kLoopSamplesOffset, static_cast<uint32_t>(image->loop_samples));
  }
  Set32(out, kDataOffset, kDataStart - kDataOffset);
  Set32(out, kYm3812ClockOffset, kYm3812Clock);
  return true;
}

}  // namespace opl2::vgm
