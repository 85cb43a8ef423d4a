#include "chip/opl2_chip.h"

#include <algorithm>
#include <utility>

#include "chip/opl2_dac.h"
#include "chip/opl2_tables.h"

using opl2::detail::CarrierPosition;
using opl2::detail::EgState;
using opl2::detail::ModulatorPosition;
using opl2::detail::Slot;

namespace opl2 {
namespace {

// Processing position (0-17) of each operator register offset, -1 for none.
constexpr int8_t kPositionOfOffset[32] = {
    0,  1,  2,  3,  4,  5,  -1, -1, 6,  7,  8,  9,  10, 11, -1, -1,
    12, 13, 14, 15, 16, 17, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
};

// Operator register writes reach these positions in the sample after the
// write, the lower positions one sample later.
constexpr int kFirstOnTimePosition = 13;
// 0xBD and 0x08 reach these positions one sample before the others.
constexpr int kFirstEarlyPosition = 12;

// Channel index of a 0xA0/0xB0/0xC0 row write; indices 9-11 alias onto
// channels 0-2, the others select nothing (-1).
int ChannelOfIndex(int index) {
  if (index < 9) return index;
  if (index < 12) return index - 9;
  return -1;
}

}  // namespace

void Chip::PendingWrites::Add(uint8_t reg, uint8_t v) {
  if (!present[reg]) {
    present[reg] = true;
    order[count++] = reg;
  }
  value[reg] = v;
}

void Chip::PendingWrites::Clear() {
  for (int i = 0; i < count; ++i) present[order[i]] = false;
  count = 0;
}

Chip::Chip() : tables_(&GetTables()), path_(DefaultChipPath()) {
  Reset();
}

bool Chip::SetPath(ChipPath path) {
  if (!ChipPathSupported(path)) return false;
  path_ = path;
  return true;
}

void Chip::Reset() {
  for (Slot& s : slots_) {
    s = Slot{};
    s.Refresh(*tables_, clock_.vibrato_pos);
  }
  gaps_[0].Clear();
  gaps_[1].Clear();
  current_gap_ = 0;
  regs_.fill(0);
  clock_ = Clock{};
  delayed_.fill(0);
  peaks_.fill(0);
  output_ = 0;
  primed_ = false;
  timers_ = ChipTimers{};
}

void Chip::SetClock(const Clock& clock) {
  clock_ = clock;
  for (Slot& s : slots_) s.inc_now = s.inc[clock_.vibrato_pos];
}

Chip::Clock Chip::GetClock() const {
  return clock_;
}

int Chip::SlotLevel(int position) const {
  return slots_[position].level;
}

uint8_t Chip::ReadStatus() const {
  // Bits 2 and 1 are not driven by the chip and read back as 1.
  uint8_t status = 0x06 | timers_.flags;
  if (timers_.flags != 0) status |= 0x80;
  return status;
}

bool Chip::IsSilent() const {
  if (gaps_[0].count != 0 || gaps_[1].count != 0) return false;
  for (int32_t d : delayed_) {
    if (d != 0) return false;
  }
  for (const Slot& s : slots_) {
    if (s.state == EgState::kAttack || s.level < Slot::kSilentLevel) return false;
    if (s.key && s.state == EgState::kRelease) return false;
  }
  return true;
}

void Chip::SetMutedChannels(uint16_t mask) {
  muted_ = mask & 0x1FF;
}

void Chip::SetChannelMeters(bool on) {
  meters_on_ = on;
  peaks_.fill(0);
}

void Chip::TakeChannelPeaks(std::array<int32_t, 9>& peaks) {
  peaks = peaks_;
  peaks_.fill(0);
}

void Chip::Write(uint8_t reg, uint8_t value) {
  if (reg >= 0xE0 && !(regs_[0x01] & 0x20)) return;  // waveform select disabled
  if (reg == 0x04) {
    WriteTimerControl(value);
    return;
  }
  regs_[reg] = value;
  Apply(reg, value, Phase::kEarly);
  gaps_[current_gap_].Add(reg, value);
}

void Chip::WriteTimerControl(uint8_t value) {
  if (value & 0x80) {  // clears the flags; the rest of this write is ignored
    timers_.flags = 0;
    return;
  }
  const uint8_t started = value & ~regs_[0x04];
  for (int i = 0; i < 2; ++i) {
    if (started & (1 << i)) timers_.count[i] = regs_[0x02 + i];
  }
  regs_[0x04] = value;
}

void Chip::Apply(uint8_t reg, uint8_t value, Phase phase) {
  if (reg == 0x08 || reg == 0xBD) {
    // Global bits copied into each slot: channels 6-8 take them one sample
    // before channels 0-5.
    int first = 0, last = kFirstEarlyPosition;
    if (phase == Phase::kEarly) {
      first = kFirstEarlyPosition;
      last = 18;
    } else if (phase == Phase::kLate) {
      return;
    }
    for (int pos = first; pos < last; ++pos) {
      Slot& s = slots_[pos];
      if (reg == 0x08) {
        s.nts = value & 0x40;
      } else {
        s.am_deep = value & 0x80;
        s.vib_deep = value & 0x40;
      }
      s.Refresh(*tables_, clock_.vibrato_pos);
    }
    return;
  }
  if (phase == Phase::kEarly) return;
  const uint8_t row = reg & 0xF0;
  if ((reg >= 0x20 && reg < 0xA0) || reg >= 0xE0) {
    const uint8_t base = reg >= 0xE0 ? 0xE0 : static_cast<uint8_t>(reg & 0xE0);
    const int pos = kPositionOfOffset[reg - base];
    if (pos < 0) return;
    const bool on_time = pos >= kFirstOnTimePosition;
    if (on_time == (phase == Phase::kOnTime)) ApplyOperator(pos, base, value);
    return;
  }
  if (row == 0xA0 || row == 0xB0 || row == 0xC0) {
    const int ch = ChannelOfIndex(reg & 0x0F);
    if (ch >= 0) ApplyChannel(ch, row, value, phase);
  }
}

void Chip::ApplyOperator(int position, uint8_t base, uint8_t value) {
  Slot& s = slots_[position];
  switch (base) {
    case 0x20:
      s.reg20 = value;
      break;
    case 0x40:
      s.reg40 = value;
      break;
    case 0x60:
      s.reg60 = value;
      break;
    case 0x80:
      s.reg80 = value;
      break;
    default:
      s.waveform = value & 3;
      break;
  }
  s.Refresh(*tables_, clock_.vibrato_pos);
}

void Chip::ApplyChannel(int ch, uint8_t row, uint8_t value, Phase phase) {
  const bool on_time = phase == Phase::kOnTime;
  // The chip commits channel registers at the processing position of the
  // channel number, which for channels 0-2 is their modulator's own slot:
  // those modulators see the write one sample after their carriers.
  const bool modulator_on_time = ch >= 3;
  Slot& mod = slots_[ModulatorPosition(ch)];
  Slot& car = slots_[CarrierPosition(ch)];
  if (row == 0xC0) {
    // Only the modulator uses the connection and feedback bits; feedback
    // arrives late on channels 0-5.
    if (modulator_on_time == on_time) mod.additive = value & 1;
    if ((ch >= 6) == on_time) mod.SetFeedback((value >> 1) & 7);
    return;
  }
  auto set = [&](Slot& s) {
    if (row == 0xA0) {
      s.fnum = static_cast<uint16_t>((s.fnum & 0x300) | value);
    } else {
      s.fnum = static_cast<uint16_t>((s.fnum & 0xFF) | ((value & 3) << 8));
      s.block = (value >> 2) & 7;
      s.key = value & 0x20;
    }
    s.Refresh(*tables_, clock_.vibrato_pos);
  };
  if (on_time) set(car);
  if (modulator_on_time == on_time) set(mod);
}

template <int kCh>
inline int32_t Chip::RunChannel(const detail::SampleContext& c) {
  Slot& mod = slots_[ModulatorPosition(kCh)];
  Slot& car = slots_[CarrierPosition(kCh)];
  const int fb_in = ((mod.out1 + mod.out2) >> mod.fb_shift) & mod.fb_mask;
  bool mod_muted;
  const int32_t mod_out = mod.Run(c, fb_in, mod_muted);
  mod.out2 = mod.out1;
  mod.out1 = mod_out;
  int32_t heard = mod.additive && !mod_muted ? mod_out : 0;
  bool car_muted;
  const int32_t car_out = car.Run(c, mod.additive ? 0 : (mod_out & 1023), car_muted);
  const int32_t car_heard = car_muted ? 0 : car_out;
  // Carriers of channels 6-8 reach the sum one sample late.
  if constexpr (kCh < 6) {
    heard += car_heard;
  } else {
    heard += delayed_[kCh - 6];
    delayed_[kCh - 6] = car_heard;
  }
  return heard;
}

template <bool kMix>
int32_t Chip::RunChannels(const detail::SampleContext& c) {
  // Every channel gets its own inlined copy of the slot code, so each slot
  // has its own branch history. The usual sample only sums the channels
  // (kept that plain on purpose: an emscripten 3.1 SLP vectorizer with
  // SIMD128 miscompiled the channels stored side by side); with a mute mask
  // or meters each channel's part is kept.
  int32_t sum = 0;
  [&]<int... kCh>(std::integer_sequence<int, kCh...>) {
    if constexpr (kMix) {
      ((sum += MixChannel(kCh, RunChannel<kCh>(c))), ...);
    } else {
      ((sum += RunChannel<kCh>(c)), ...);
    }
  }
  (std::make_integer_sequence<int, 9>{});
  return sum;
}

int32_t Chip::MixChannel(int ch, int32_t contribution) {
  const int32_t v = (muted_ >> ch) & 1 ? 0 : contribution;
  if (meters_on_) peaks_[ch] = std::max(peaks_[ch], v < 0 ? -v : v);
  return v;
}

void Chip::ComputeSample() {
  detail::SampleContext c;
  c.tables = tables_;
  c.step = tables_->step[StepPattern(clock_.odd, clock_.env_counter)].data();
  c.am_att[0] = 0;
  c.am_att[1] = clock_.tremolo >> 4;
  c.am_att[2] = clock_.tremolo >> 2;
  const int32_t sum = muted_ == 0 && !meters_on_ ? RunChannels<false>(c) : RunChannels<true>(c);
  output_ = DacValue(sum);
}

void Chip::AdvanceClock() {
  if (StepClock(clock_)) {
    for (Slot& s : slots_) s.inc_now = s.inc[clock_.vibrato_pos];
  }
}

void Chip::ApplyPending() {
  // Writes from before the previous sample reach their late slots, writes
  // since then their on-time slots.
  PendingWrites& last = gaps_[current_gap_ ^ 1];
  PendingWrites& current = gaps_[current_gap_];
  for (int i = 0; i < last.count; ++i) {
    const uint8_t reg = last.order[i];
    Apply(reg, last.value[reg], Phase::kLate);
  }
  for (int i = 0; i < current.count; ++i) {
    const uint8_t reg = current.order[i];
    Apply(reg, current.value[reg], Phase::kOnTime);
  }
  last.Clear();
  current_gap_ ^= 1;
}

void Chip::Step() {
  if (primed_) {
    ComputeSample();
    AdvanceClock();
    timers_.Advance(1, regs_[0x04], &regs_[0x02]);
  } else {
    primed_ = true;
  }
  if (gaps_[0].count != 0 || gaps_[1].count != 0) ApplyPending();
}

int16_t Chip::Sample() {
  // A lone sample costs least on the per-sample path, whatever the path.
  Step();
  return output_;
}

void Chip::Generate(int16_t* out, size_t n) {
  if (path_ != ChipPath::kScalar) {
    GenerateBlocks(out, n);
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    Step();
    out[i] = output_;
  }
}

}  // namespace opl2
