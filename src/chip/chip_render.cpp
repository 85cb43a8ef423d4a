// The fast paths of Chip::Generate: samples that follow a write, or in which
// a key goes on or off, take the per-sample path; every run of samples in
// between is rendered as a block by the path's vector kernel, with silent
// channels (and a silent chip) advanced in closed form.
#include <algorithm>
#include <bit>
#include <cstring>

#include "chip/lane_kernels.h"
#include "chip/lane_state.h"
#include "chip/opl2_chip.h"
#include "chip/parked_channel.h"

namespace opl2 {

using detail::CarrierPosition;
using detail::ChannelLanes;
using detail::EgState;
using detail::kMaxBlock;
using detail::ModulatorPosition;
using detail::Slot;

bool Chip::KeyChangePending() const {
  for (const Slot& s : slots_) {
    if (s.key == (s.state == EgState::kRelease)) return true;
  }
  return false;
}

void Chip::GenerateBlocks(int16_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (!primed_ || gaps_[0].count != 0 || gaps_[1].count != 0 || KeyChangePending()) {
      Step();
      out[done++] = output_;
      continue;
    }
    // A block never crosses a vibrato step, so each slot's increment holds.
    const size_t left = n - done;
    const auto len = static_cast<uint32_t>(
        std::min<size_t>({left, SamplesToVibratoStep(clock_), static_cast<size_t>(kMaxBlock)}));
    RenderBlock(out + done, len);
    done += len;
  }
}

void Chip::RenderBlock(int16_t* out, uint32_t n) {
  const detail::LaneKernel& kernel = detail::KernelFor(path_);
  // Channels that can be heard run; the others are silent and skipped. A
  // vector group runs when enough of its channels do, the others run one by
  // one.
  bool runs[9] = {};
  for (int ch = 0; ch < 9; ++ch) {
    const bool delayed = ch >= 6 && delayed_[ch - 6] != 0;
    runs[ch] =
        !slots_[ModulatorPosition(ch)].parked || !slots_[CarrierPosition(ch)].parked || delayed;
  }
  uint32_t groups = 0;
  uint32_t singles = runs[8] ? 1u << 8 : 0;
  for (int g = 0; g < kernel.groups; ++g) {
    const int first = kernel.first[g], last = first + kernel.width[g];
    uint32_t heard = 0;
    for (int ch = first; ch < last; ++ch) heard |= runs[ch] ? 1u << ch : 0;
    if (std::popcount(heard) > kernel.max_singles) {
      groups |= 1u << g;
      // The whole group is loaded and run, silent lanes included.
      for (int ch = first; ch < last; ++ch) runs[ch] = true;
    } else {
      singles |= heard;
    }
  }

  if (groups != 0 || singles != 0) {
    alignas(32) ChannelLanes lanes;
    // Only the lanes of running groups are read.
    for (int ch = 0; ch < 9; ++ch) {
      if (runs[ch]) {
        detail::LoadChannel(lanes, ch, slots_[ModulatorPosition(ch)], slots_[CarrierPosition(ch)],
                            ch >= 6 ? delayed_[ch - 6] : 0, (muted_ >> ch) & 1, clock_.tremolo);
      }
    }
    uint32_t loaded = 0;
    for (int ch = 0; ch < 9; ++ch) loaded |= runs[ch] ? 1u << ch : 0;
    kernel.render({&lanes, tables_, clock_, out, n, groups, singles, loaded, meters_on_});
    for (int ch = 0; ch < 9; ++ch) {
      if (!runs[ch]) continue;
      int32_t delayed = 0;
      detail::StoreChannel(lanes, ch, slots_[ModulatorPosition(ch)], slots_[CarrierPosition(ch)],
                           delayed);
      if (ch >= 6) delayed_[ch - 6] = delayed;
      if (meters_on_) peaks_[ch] = std::max(peaks_[ch], lanes.peak[ch]);
    }
  } else {
    std::memset(out, 0, n * sizeof *out);
  }

  for (int ch = 0; ch < 9; ++ch) {
    if (!runs[ch]) {
      detail::AdvanceParkedChannel(*tables_, slots_[ModulatorPosition(ch)],
                                   slots_[CarrierPosition(ch)], n);
    }
  }
  output_ = out[n - 1];
  const uint8_t vibrato = clock_.vibrato_pos;
  opl2::AdvanceClock(clock_, n);
  if (clock_.vibrato_pos != vibrato) {
    for (Slot& s : slots_) s.inc_now = s.inc[clock_.vibrato_pos];
  }
  timers_.Advance(n, regs_[0x04], &regs_[0x02]);
}

}  // namespace opl2
