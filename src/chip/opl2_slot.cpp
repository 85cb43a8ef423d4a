#include "chip/opl2_slot.h"

#include <algorithm>

namespace opl2::detail {
namespace {

// Attack shift per step size 1, 2, 4.
constexpr int kAttackShift[5] = {0, 3, 2, 0, 1};
constexpr int kKslFactor[4] = {0, 2, 1, 4};  // KSL bits 7-6: 0, 3, 1.5, 6 dB/oct

}  // namespace

void Slot::Refresh(const Tables& t, int vib_pos) {
  am_sel = (reg20 & 0x80) ? (am_deep ? 2 : 1) : 0;
  wave = t.wave[waveform].data();
  const bool vib = reg20 & 0x40;
  egt = reg20 & 0x20;
  const bool ksr = reg20 & 0x10;
  const int m2 = t.mult_x2[reg20 & 15];

  const int key_code = 2 * block + ((fnum >> (nts ? 8 : 9)) & 1);
  const int ks = ksr ? key_code : key_code >> 2;
  auto rate = [ks](int r) -> uint8_t {
    if (r == 0) return 0;  // a zero rate never moves, whatever KSR adds
    return static_cast<uint8_t>(4 * std::min(15, r + (ks >> 2)) + (ks & 3));
  };
  rate_attack = rate(reg60 >> 4);
  rate_decay = rate(reg60 & 15);
  rate_release = rate(reg80 & 15);
  const int sl = reg80 >> 4;
  sustain_end = static_cast<uint8_t>(sl == 15 ? 31 : sl);
  UpdateRateNow();

  const int base = t.ksl_base[block][fnum >> 6];
  ksl_tl = static_cast<uint16_t>(kKslFactor[reg40 >> 6] * base + 4 * (reg40 & 63));

  // Vibrato moves F by a fraction of its top three bits; the adjusted F
  // only feeds the phase increment.
  const int r = (fnum >> 7) & 7;
  const int big = vib_deep ? r : r >> 1;
  const int small = vib_deep ? r >> 1 : r >> 2;
  const int offsets[8] = {0, small, big, small, 0, -small, -big, -small};
  for (int v = 0; v < 8; ++v) {
    int f = fnum;
    if (vib) f = offsets[v] >= 0 ? f + offsets[v] : (f + offsets[v]) & 1023;
    inc[v] = static_cast<uint32_t>((((f << block) >> 1) * m2) >> 1) << kPhaseShift;
  }
  inc_now = inc[vib_pos];

  parked = false;
}

void Slot::UpdateRateNow() {
  switch (state) {
    case EgState::kAttack:
      rate_now = rate_attack;
      break;
    case EgState::kDecay:
      rate_now = rate_decay;
      break;
    case EgState::kSustain:
      rate_now = egt ? 0 : rate_release;
      break;
    case EgState::kRelease:
      rate_now = rate_release;
      break;
  }
  stop_at = state == EgState::kDecay ? sustain_end : 0xFF;
  slow = key == (state == EgState::kRelease) || state == EgState::kAttack;
}

bool Slot::UpdateEnvelopeSlow(const SampleContext& c, bool& key_on) {
  if (key && state == EgState::kRelease) {
    // Key-on: attack from the current level; the fastest rates jump to 0.
    key_on = true;
    state = EgState::kAttack;
    UpdateRateNow();
    if (rate_attack >= 60) level = 0;
    return false;
  }
  const bool silent = level >= kSilentLevel;
  if (!key) {
    // Key-off: this sample still steps as the old state did (attack holds),
    // release rate from the next sample on.
    if (state != EgState::kAttack && !silent)
      level = static_cast<uint16_t>(level + c.step[rate_now]);
    const bool was_attack = state == EgState::kAttack;
    state = EgState::kRelease;
    UpdateRateNow();
    if (!was_attack && silent) {
      level = kMaxLevel;
      parked = true;
      return true;
    }
    return false;
  }
  // Attack with the key held; never muted.
  if (level == 0) {
    state = EgState::kDecay;
    UpdateRateNow();
  } else if (rate_attack < 60) {
    const int size = c.step[rate_attack];
    if (size != 0) level = static_cast<uint16_t>(level + ((~level) >> kAttackShift[size]));
  }
  return false;
}

}  // namespace opl2::detail
