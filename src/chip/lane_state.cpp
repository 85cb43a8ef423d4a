#include "chip/lane_state.h"

#include <array>
#include <bit>

namespace opl2::detail {
namespace {

// A rate's step_z and step_fast values.
struct RateSteps {
  int32_t z[3];
  int32_t fast[8];
};

std::array<RateSteps, 64> BuildRateSteps() {
  const Tables& t = GetTables();
  std::array<RateSteps, 64> all{};
  for (int rate = 0; rate < 64; ++rate) {
    RateSteps& r = all[rate];
    for (int32_t& z : r.z) z = -1;
    const int rh = rate >> 2, rl = rate & 3;
    if (rate < 4) continue;
    if (rh <= 11) {
      r.z[0] = 11 - rh;
      if (rl >= 2) r.z[1] = 12 - rh;
      if (rl & 1) r.z[2] = 13 - rh;
      continue;
    }
    // Fast rates read only the parity and the counter's two low bits.
    for (int c = 0; c < 8; ++c) {
      r.fast[c] = t.step[StepPattern(c >= 4, static_cast<uint32_t>(c & 3))][rate];
    }
  }
  return all;
}

void SetStepLane(OperatorLanes& o, int l) {
  static const std::array<RateSteps, 64> kRateSteps = BuildRateSteps();
  const RateSteps& r = kRateSteps[o.rate[l]];
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) o.step_z[i][l] = r.z[i];
#pragma GCC unroll 8
  for (int c = 0; c < 8; ++c) o.step_fast[c][l] = r.fast[c];
}

void SetEnvelopeLane(OperatorLanes& o, int l) {
  int rate = 0;
  switch (static_cast<EgState>(o.state[l])) {
    case EgState::kAttack:
      // Attack never moves at rates 60-63 (only the key-on jumps to 0).
      rate = o.rate_attack[l] >= 60 ? 0 : o.rate_attack[l];
      break;
    case EgState::kDecay:
      rate = o.rate_decay[l];
      break;
    case EgState::kSustain:
      rate = o.rate_sustain[l];
      break;
    case EgState::kRelease:
      rate = o.rate_release[l];
      break;
  }
  o.rate[l] = o.live[l] ? rate : 0;
  SetStepLane(o, l);
  o.stop[l] = o.state[l] == static_cast<uint8_t>(EgState::kDecay) ? o.sustain_end[l] : kNoStop;
  o.attack[l] = o.state[l] == static_cast<uint8_t>(EgState::kAttack) ? -1 : 0;
  o.heard[l] = o.audible[l] & o.live[l];
}

int AmShift(const Slot& s) {
  return s.am_sel == 0 ? 0 : (s.am_sel == 1 ? 4 : 2);
}

void SetTremoloLane(OperatorLanes& o, int l, int tremolo) {
  const int shift = o.am_shift[l];
  o.e8_base[l] = o.ksl_tl8[l] + (shift ? 8 * (tremolo >> shift) : 0);
}

void LoadOperator(OperatorLanes& o, int l, const Slot& s, bool audible, int tremolo) {
  o.phase[l] = s.phase;
  o.inc[l] = s.inc_now;
  o.level[l] = s.level;
  o.wave[l] = s.waveform * 2048;
  o.ksl_tl8[l] = 8 * s.ksl_tl;
  o.am_shift[l] = static_cast<uint8_t>(AmShift(s));
  SetTremoloLane(o, l, tremolo);
  o.state[l] = static_cast<uint8_t>(s.state);
  o.rate_attack[l] = s.rate_attack;
  o.rate_decay[l] = s.rate_decay;
  o.rate_sustain[l] = s.egt ? 0 : s.rate_release;
  o.rate_release[l] = s.rate_release;
  o.sustain_end[l] = s.sustain_end;
  o.live[l] = s.parked ? 0 : -1;
  o.audible[l] = audible ? -1 : 0;
  SetEnvelopeLane(o, l);
}

void StoreOperator(const OperatorLanes& o, int l, Slot& s) {
  s.phase = o.phase[l];
  s.level = static_cast<uint16_t>(o.level[l]);
  s.state = static_cast<EgState>(o.state[l]);
  s.parked = o.live[l] == 0;
  s.UpdateRateNow();
}

}  // namespace

void LoadChannel(ChannelLanes& c, int lane, const Slot& mod, const Slot& car, int32_t delayed,
                 bool muted, int tremolo) {
  LoadOperator(c.mod, lane, mod, mod.additive, tremolo);
  LoadOperator(c.car, lane, car, true, tremolo);
  c.out1[lane] = mod.out1;
  c.out2[lane] = mod.out2;
  c.fb_shift[lane] = mod.fb_shift;
  c.fb_mask[lane] = mod.fb_mask;
  c.fb_mul16[lane] = mod.feedback ? 1 << (7 + mod.feedback) : 0;
  c.fb_mul[lane] = mod.feedback ? 1 << mod.feedback : 0;
  c.fm[lane] = mod.additive ? 0 : 1023;
  c.delay[lane] = lane >= 6 ? -1 : 0;
  c.delayed[lane] = delayed;
  c.keep[lane] = muted ? 0 : -1;
  c.peak[lane] = 0;
}

void StoreChannel(const ChannelLanes& c, int lane, Slot& mod, Slot& car, int32_t& delayed) {
  StoreOperator(c.mod, lane, mod);
  StoreOperator(c.car, lane, car);
  mod.out1 = c.out1[lane];
  mod.out2 = c.out2[lane];
  delayed = c.delayed[lane];
}

void ChangeEnvelopeStates(OperatorLanes& o, int first, uint32_t mask) {
  for (; mask != 0; mask &= mask - 1) {
    const int l = first + std::countr_zero(mask);
    // The same order of tests as the slot's own envelope update.
    if (o.state[l] == static_cast<uint8_t>(EgState::kAttack)) {
      o.state[l] = static_cast<uint8_t>(EgState::kDecay);  // reached 0
    } else if (o.level[l] >= Slot::kSilentLevel) {
      o.level[l] = Slot::kMaxLevel;
      o.live[l] = 0;
    } else {
      o.state[l] = static_cast<uint8_t>(EgState::kSustain);  // reached the sustain level
    }
    SetEnvelopeLane(o, l);
  }
}

uint64_t RatesInUse(const ChannelLanes& c, int first, int count) {
  uint64_t rates = 0;
  for (int l = first; l < first + count; ++l) {
    rates |= uint64_t{1} << c.mod.rate[l];
    rates |= uint64_t{1} << c.car.rate[l];
  }
  return rates;
}

void SetTremolo(ChannelLanes& c, int tremolo, uint32_t loaded) {
  for (; loaded != 0; loaded &= loaded - 1) {
    const int l = std::countr_zero(loaded);
    SetTremoloLane(c.mod, l, tremolo);
    SetTremoloLane(c.car, l, tremolo);
  }
}

}  // namespace opl2::detail
