// The fast paths of Chip::Generate: samples that follow a write, or in which
// a key goes on or off, take the per-sample path; every run of samples in
// between is rendered as a block by the path's vector kernel, with silent
// channels (and a silent chip) advanced in closed form.
#include <algorithm>
#include <cstring>

#include "chip/lane_kernels.h"
#include "chip/lane_state.h"
#include "chip/opl2_chip.h"
#include "chip/parked_channel.h"

namespace opl2 {

using detail::CarrierPosition;
using detail::ChannelLanes;
using detail::EgState;
using detail::kLanes;
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
  auto silent_channel = [this](int ch) {
    if (ch >= 9) return true;
    const bool delayed = ch >= 6 && delayed_[ch - 6] != 0;
    return slots_[ModulatorPosition(ch)].parked && slots_[CarrierPosition(ch)].parked && !delayed;
  };

  // A group of lanes runs when one of its channels can be heard.
  uint32_t groups = 0;
  for (int g = 0; g < kernel.groups; ++g) {
    for (int l = kernel.first[g]; l < kernel.first[g] + kernel.width[g]; ++l) {
      if (!silent_channel(l)) groups |= 1u << g;
    }
  }

  auto in_group = [&](int ch) {
    for (int g = 0; g < kernel.groups; ++g) {
      if (((groups >> g) & 1) && ch >= kernel.first[g] && ch < kernel.first[g] + kernel.width[g])
        return true;
    }
    return false;
  };

  if (groups != 0) {
    alignas(32) ChannelLanes lanes;
    for (int l = 0; l < kLanes; ++l) {
      if (l >= 9) {
        detail::ClearLane(lanes, l);
      } else if (in_group(l)) {
        detail::LoadChannel(lanes, l, slots_[ModulatorPosition(l)], slots_[CarrierPosition(l)],
                            l >= 6 ? delayed_[l - 6] : 0, (muted_ >> l) & 1, clock_.tremolo);
      }
    }
    kernel.render({&lanes, tables_, clock_, out, n, groups, meters_on_});
    for (int ch = 0; ch < 9; ++ch) {
      if (!in_group(ch)) continue;
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
    if (!in_group(ch)) {
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
