// One operator slot of the chip: the registers as this slot sees them, the
// parameters derived from them, and its per-sample envelope, phase and
// output. Internal to the chip emulator.
#pragma once

#include <array>
#include <cstdint>

#include "chip/opl2_tables.h"

namespace opl2::detail {

// Processing positions (0-17) of a channel's two slots.
constexpr int ModulatorPosition(int ch) {
  return (ch / 3) * 6 + ch % 3;
}
constexpr int CarrierPosition(int ch) {
  return ModulatorPosition(ch) + 3;
}

enum class EgState : uint8_t { kAttack, kDecay, kSustain, kRelease };

// Values shared by every slot in one sample.
struct SampleContext {
  const Tables* tables;
  const uint8_t* step;  // step size per effective rate in this sample
  int am_att[3];        // tremolo attenuation: none, shallow, deep
};

// The 19-bit phase accumulator is kept in the top bits of a 32-bit word, so
// that it wraps by itself; the waveform index is its top 10 bits.
inline constexpr int kPhaseShift = 13;
inline constexpr int kIndexShift = 32 - 10;

// The fields used every sample come first and share one cache line.
struct alignas(64) Slot {
  static constexpr int kMaxLevel = 511;
  static constexpr int kSilentLevel = 504;  // from here on the slot is muted

  // Running state.
  uint32_t phase = 0;    // accumulator << kPhaseShift
  uint32_t inc_now = 0;  // phase increment at the current vibrato position, likewise shifted
  const WaveEntry* wave = nullptr;
  int32_t out1 = 0, out2 = 0;  // last two outputs (modulator feedback)
  uint16_t level = kMaxLevel;
  uint16_t ksl_tl = 0;  // key-scale attenuation + 4 x total level
  EgState state = EgState::kRelease;
  // Muted with nothing to do until a register changes: level 511 outside
  // attack, no key-on pending. Its output is then just the wave's sign.
  // Refresh() clears it; the next sample parks the slot again if it still
  // has nothing to do.
  bool parked = false;
  // Key-on, key-off or attack pending: the envelope takes the slow path.
  bool slow = false;
  uint8_t rate_now = 0;   // rate of the current state's step, 0 = hold
  uint8_t stop_at = 0;    // level >> 4 that ends the current state (decay only)
  uint8_t am_sel = 0;     // index into SampleContext::am_att
  bool additive = false;  // modulators only
  // Feedback input is ((out1 + out2) >> fb_shift) & fb_mask; mask 0 when off.
  uint8_t fb_shift = 0;
  uint16_t fb_mask = 0;

  // Registers as this slot currently sees them.
  uint8_t reg20 = 0, reg40 = 0, reg60 = 0, reg80 = 0, waveform = 0;
  uint16_t fnum = 0;
  uint8_t block = 0;
  bool key = false;
  uint8_t feedback = 0;  // modulators only
  bool am_deep = false, vib_deep = false, nts = false;

  // Derived from the registers by Refresh().
  bool egt = false;
  uint8_t rate_attack = 0, rate_decay = 0, rate_release = 0;
  uint8_t sustain_end = 0;
  std::array<uint32_t, 8> inc{};  // phase increment per vibrato position, shifted

  // Recomputes the derived values after a register change.
  void Refresh(const Tables& t, int vib_pos);
  // Sets the values that follow from the state and the key.
  void UpdateRateNow();
  void SetFeedback(int fb) {
    feedback = static_cast<uint8_t>(fb);
    fb_shift = static_cast<uint8_t>(fb ? 9 - fb : 0);
    fb_mask = fb ? 1023 : 0;
  }

  // Runs the slot for one sample with modulation input mod_in (0-1023) and
  // returns its output; `muted` tells whether it is left out of the sum.
  inline int32_t Run(const SampleContext& c, int mod_in, bool& muted);

 private:
  // Envelope update for the rare cases: key-on, key-off, attack. Returns
  // whether the slot is muted in this sample.
  bool UpdateEnvelopeSlow(const SampleContext& c, bool& key_on);
};

inline int32_t Slot::Run(const SampleContext& c, int mod_in, bool& muted) {
  const int index = static_cast<int>(phase >> kIndexShift);
  if (parked) [[unlikely]] {
    muted = true;
    phase += inc_now;
    // Level 511 leaves magnitude 0: only the one's-complement sign remains.
    return wave[(index + mod_in) & 1023].sign_mask;
  }
  // Envelope output before this sample's update. The chip caps it at 511;
  // anything from 384 on is silent anyway, which the table reproduces.
  const int e = level + ksl_tl + c.am_att[am_sel];
  bool key_on = false;
  muted = false;
  if (slow) [[unlikely]] {
    muted = UpdateEnvelopeSlow(c, key_on);
  } else {
    // Decay or sustain with the key held, or release with it off.
    if (level >= kSilentLevel) [[unlikely]] {
      level = kMaxLevel;
      muted = parked = true;
    } else if ((level >> 4) == stop_at) [[unlikely]] {
      state = EgState::kSustain;
      UpdateRateNow();
    } else {
      level = static_cast<uint16_t>(level + c.step[rate_now]);
    }
  }
  if (key_on) phase = 0;
  phase += inc_now;
  const WaveEntry w = wave[(index + mod_in) & 1023];
  return c.tables->magnitude[w.att + 8 * e] ^ w.sign_mask;
}

}  // namespace opl2::detail
