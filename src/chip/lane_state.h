// The chip's 9 channels laid out side by side for the vector kernels: one
// lane per channel, modulators and carriers in separate arrays, copied from
// the slots at the start of a block and back at its end. Internal to the
// chip emulator.
#pragma once

#include <cstdint>

#include "chip/chip_counters.h"
#include "chip/opl2_slot.h"
#include "chip/opl2_tables.h"

namespace opl2::detail {

// 9 channels, padded so that every array fills whole cache lines. Only the
// lanes of the groups a kernel runs are filled and read.
inline constexpr int kLanes = 16;
inline constexpr int kMaxBlock = 1024;
// A decay end that level >> 4 never reaches.
inline constexpr int32_t kNoStop = 0x100;

// One operator role (modulator or carrier) of every channel.
struct alignas(32) OperatorLanes {
  uint32_t phase[kLanes];
  uint32_t inc[kLanes];
  int32_t level[kLanes];
  int32_t e8[kLanes];         // 8 x envelope output in the current sample
  int32_t e8_base[kLanes];    // 8 x (key scale + total level + tremolo)
  int32_t wave[kLanes];       // waveform x 2048
  int32_t rate[kLanes];       // envelope rate of the current state, 0 to hold
  int32_t attack[kLanes];     // -1 in attack
  int32_t stop[kLanes];       // level >> 4 that ends decay, kNoStop otherwise
  int32_t live[kLanes];       // -1 unless parked
  int32_t audible[kLanes];    // -1 where the output belongs in the sum
  int32_t heard[kLanes];      // audible and live
  int32_t heard_now[kLanes];  // heard and not silent in the current sample
  int32_t ksl_tl8[kLanes];    // 8 x (key scale + total level)
  // Step size of the rate in a sample, without a table lookup per lane:
  // rates below 48 step by 1 in odd samples whose counter has its lowest
  // set bit at one of step_z (-1: none); faster rates step by
  // step_fast[2 x 2 x odd + counter & 3].
  int32_t step_z[3][kLanes];
  int32_t step_fast[8][kLanes];
  // Envelope parameters, for the rare state changes.
  uint8_t am_shift[kLanes];  // tremolo value shift, 0 without tremolo
  uint8_t state[kLanes];     // EgState
  uint8_t rate_attack[kLanes];
  uint8_t rate_decay[kLanes];
  uint8_t rate_sustain[kLanes];
  uint8_t rate_release[kLanes];
  uint8_t sustain_end[kLanes];
};

struct alignas(32) ChannelLanes {
  OperatorLanes mod, car;
  int32_t out1[kLanes], out2[kLanes];  // the modulators' last two outputs
  // Feedback input is ((out1 + out2) >> fb_shift) & fb_mask; the same shift
  // as a 16-bit high multiply (x * fb_mul16 >> 16) and as a multiply then a
  // shift by 9 (x * fb_mul >> 9), for vector sets without variable shifts.
  int32_t fb_shift[kLanes], fb_mask[kLanes], fb_mul16[kLanes], fb_mul[kLanes];
  int32_t fm[kLanes];       // 1023 where the modulator drives the carrier
  int32_t delay[kLanes];    // -1 for channels 6-8, whose carriers are a sample late
  int32_t delayed[kLanes];  // those carriers' last heard output
  int32_t keep[kLanes];     // -1 unless the channel is muted
  int32_t peak[kLanes];     // largest |contribution| in the block
};

// What a kernel renders: n samples from `clock` (no vibrato step inside)
// of the vector groups in `groups` (bit g: group g of the kernel) and the
// single lanes in `singles` (bit l: lane l), as DAC values into out[0..n).
struct LaneBlock {
  ChannelLanes* lanes;
  const Tables* tables;
  ChipClock clock;
  int16_t* out;
  uint32_t n;
  uint32_t groups;
  uint32_t singles;
  uint32_t loaded;  // bit l: lane l was loaded (the lanes of both kinds)
  bool meters;
};

// Copies channel `lane` in from its two slots.
void LoadChannel(ChannelLanes& c, int lane, const Slot& mod, const Slot& car, int32_t delayed,
                 bool muted, int tremolo);
// Copies the running state of channel `lane` back to its slots.
void StoreChannel(const ChannelLanes& c, int lane, Slot& mod, Slot& car, int32_t& delayed);

// Envelope state changes found by a kernel in lanes `mask` (bit i: lane
// first + i): an attack reaching 0, a decay reaching its sustain level, or
// a silent slot being parked.
void ChangeEnvelopeStates(OperatorLanes& o, int first, uint32_t mask);
// The envelope rates lanes [first, first + count) of both operators use.
uint64_t RatesInUse(const ChannelLanes& c, int first, int count);
// New tremolo value: recomputes e8_base of the lanes in `loaded`.
void SetTremolo(ChannelLanes& c, int tremolo, uint32_t loaded);

}  // namespace opl2::detail
