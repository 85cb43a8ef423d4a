// The block kernel, written once for any vector instruction set: each file
// that includes it supplies a set `I` (vector type V of I::W 32-bit lanes
// and the operations below) and compiles it for its own target. Everything
// here sits in an unnamed namespace, so each target keeps its own copy.
//
// Per sample and per group of lanes (channels side by side): the envelope
// update, only in samples where some lane's rate steps or a level has just
// changed; the 9 modulators as one stage, then the 9 carriers, each carrier
// taking its own modulator's output of the same sample; the output stage
// (carriers of channels 6-8 a sample late, mute mask, meters) and the sum.
//
// Lanes a block runs on their own (channel 8, or the few sounding channels
// of a group not worth running whole) take the same code with I = Scalar1.
//
// Operations of I: Load, Store, Set1, Add, And, AndNot(a, b) = ~a & b, Or,
// Xor, Max, Min, Abs, CmpEq, CmpGt, MulLo, SrlI<k>, SraI<k>, SllI<k>,
// MoveMask, HSum, Feedback(sum, lanes, first) = sum >> (9 - FB) in the low
// 10 bits, GatherWave, GatherMagnitude (table lookups per lane), StoreS16.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "chip/chip_counters.h"
#include "chip/lane_state.h"
#include "chip/opl2_dac.h"
#include "chip/opl2_tables.h"

#define OPL2_KERNEL_INLINE [[gnu::always_inline]] inline

namespace opl2::detail {
namespace {

// A single lane in plain registers: for channel 8, where a vector would
// be mostly padding.
struct Scalar1 {
  using V = int32_t;
  static constexpr int W = 1;
  static V Load(const int32_t* p) { return *p; }
  static void Store(int32_t* p, V v) { *p = v; }
  static V Set1(int32_t x) { return x; }
  static V Add(V a, V b) {
    return static_cast<V>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
  }
  static V And(V a, V b) { return a & b; }
  static V AndNot(V a, V b) { return ~a & b; }
  static V Or(V a, V b) { return a | b; }
  static V Xor(V a, V b) { return a ^ b; }
  static V Max(V a, V b) { return a > b ? a : b; }
  static V Min(V a, V b) { return a < b ? a : b; }
  static V Abs(V a) { return a < 0 ? -a : a; }
  static V CmpEq(V a, V b) { return a == b ? -1 : 0; }
  static V CmpGt(V a, V b) { return a > b ? -1 : 0; }
  static V MulLo(V a, V b) {
    return static_cast<V>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
  }
  template <int k>
  static V SrlI(V a) {
    return static_cast<V>(static_cast<uint32_t>(a) >> k);
  }
  template <int k>
  static V SraI(V a) {
    return a >> k;
  }
  template <int k>
  static V SllI(V a) {
    return static_cast<V>(static_cast<uint32_t>(a) << k);
  }
  static int MoveMask(V a) { return a < 0 ? 1 : 0; }
  static int32_t HSum(V a) { return a; }
  static void StoreS16(int16_t* out, V v) { *out = static_cast<int16_t>(v); }
  static V Feedback(V sum, const ChannelLanes& c, int f) { return sum >> c.fb_shift[f]; }
  static V GatherWave(const WaveEntry* base, V i) {
    int32_t v;
    std::memcpy(&v, base + i, sizeof v);
    return v;
  }
  static V GatherMagnitude(const int16_t* base, V i) { return base[i]; }
};

// The group of I::W lanes starting at lane kFirst.
template <class Isa, int kFirst>
struct Group {
  using I = Isa;
  static constexpr int first = kFirst;
};

// What the envelope clock gives every slot in one sample.
struct StepInput {
  int32_t z;       // lowest set bit of the counter's low 13 bits, 13 for none
  int32_t odd;     // 1 in odd samples
  int fast;        // index into step_fast
  uint64_t rates;  // rates that step in this sample
};

struct GroupState {
  uint64_t rates = 0;   // envelope rates the group's lanes use
  bool recheck = true;  // a level or parameter changed since the last update
};

// Envelope output and mute of this sample from the level before the update,
// then one envelope step. Lanes whose state changes keep their level and
// are returned as a mask for ChangeEnvelopeStates.
template <class I>
OPL2_KERNEL_INLINE uint32_t UpdateEnvelope(OperatorLanes& o, int f, const StepInput& in) {
  using V = typename I::V;
  const V level = I::Load(o.level + f);
  const V attack = I::Load(o.attack + f);
  I::Store(o.e8 + f, I::Add(I::template SllI<3>(level), I::Load(o.e8_base + f)));
  // Silent outside attack: left out of the sum from this sample on.
  const V silent = I::AndNot(attack, I::CmpGt(level, I::Set1(Slot::kSilentLevel - 1)));
  I::Store(o.heard_now + f, I::AndNot(silent, I::Load(o.heard + f)));
  const V z = I::Set1(in.z);
  const V slow_step =
      I::Or(I::Or(I::CmpEq(z, I::Load(o.step_z[0] + f)), I::CmpEq(z, I::Load(o.step_z[1] + f))),
            I::CmpEq(z, I::Load(o.step_z[2] + f)));
  const V size = I::Or(I::Load(o.step_fast[in.fast] + f), I::And(slow_step, I::Set1(in.odd)));
  // Attack: level + (~level >> k) for step sizes 1, 2, 4 (k = 3, 2, 1),
  // which is (~level * size) >> 3; the other states add the size.
  const V climb = I::template SraI<3>(I::MulLo(I::Xor(level, I::Set1(-1)), size));
  const V delta = I::Or(I::And(attack, climb), I::AndNot(attack, size));
  const V at_zero = I::And(attack, I::CmpEq(level, I::Set1(0)));
  const V at_stop = I::CmpEq(I::template SrlI<4>(level), I::Load(o.stop + f));
  const V change = I::And(I::Load(o.live + f), I::Or(I::Or(at_zero, at_stop), silent));
  I::Store(o.level + f, I::Add(level, I::AndNot(change, delta)));
  return static_cast<uint32_t>(I::MoveMask(change));
}

// One operator stage: output for modulation input `mod_in`.
template <class I>
OPL2_KERNEL_INLINE typename I::V RunOperators(OperatorLanes& o, int f, const Tables& t,
                                              typename I::V mod_in) {
  using V = typename I::V;
  const V phase = I::Load(reinterpret_cast<const int32_t*>(o.phase) + f);
  const V index = I::And(I::Add(I::template SrlI<kIndexShift>(phase), mod_in), I::Set1(1023));
  I::Store(reinterpret_cast<int32_t*>(o.phase) + f,
           I::Add(phase, I::Load(reinterpret_cast<const int32_t*>(o.inc) + f)));
  const V wave = I::GatherWave(t.wave[0].data(), I::Add(index, I::Load(o.wave + f)));
  const V att = I::And(wave, I::Set1(0xFFFF));
  const V magnitude = I::GatherMagnitude(t.magnitude.data(), I::Add(att, I::Load(o.e8 + f)));
  return I::Xor(magnitude, I::template SraI<16>(wave));
}

template <class I, bool kMeters>
OPL2_KERNEL_INLINE int32_t RunGroup(ChannelLanes& c, GroupState& g, int f, const Tables& t,
                                    const StepInput& in) {
  using V = typename I::V;
  const bool steps = (in.rates & g.rates) != 0;
  if (steps || g.recheck) {
    const uint32_t mod_change = UpdateEnvelope<I>(c.mod, f, in);
    const uint32_t car_change = UpdateEnvelope<I>(c.car, f, in);
    g.recheck = steps || (mod_change | car_change) != 0;
    if ((mod_change | car_change) != 0) [[unlikely]] {
      ChangeEnvelopeStates(c.mod, f, mod_change);
      ChangeEnvelopeStates(c.car, f, car_change);
      g.rates = RatesInUse(c, f, I::W);
    }
  }
  const V out1 = I::Load(c.out1 + f);
  const V feedback =
      I::And(I::Feedback(I::Add(out1, I::Load(c.out2 + f)), c, f), I::Load(c.fb_mask + f));
  const V mod_out = RunOperators<I>(c.mod, f, t, feedback);
  I::Store(c.out2 + f, out1);
  I::Store(c.out1 + f, mod_out);
  const V car_out = RunOperators<I>(c.car, f, t, I::And(mod_out, I::Load(c.fm + f)));

  const V car_heard = I::And(car_out, I::Load(c.car.heard_now + f));
  const V delay = I::Load(c.delay + f);
  const V car_part = I::Or(I::And(delay, I::Load(c.delayed + f)), I::AndNot(delay, car_heard));
  I::Store(c.delayed + f, I::And(delay, car_heard));
  const V mod_heard = I::And(mod_out, I::Load(c.mod.heard_now + f));
  const V contribution = I::And(I::Add(mod_heard, car_part), I::Load(c.keep + f));
  if constexpr (kMeters) {
    I::Store(c.peak + f, I::Max(I::Load(c.peak + f), I::Abs(contribution)));
  }
  return I::HSum(contribution);
}

// Runs group kG and the ones after it on one sample. (No lambdas here: a
// target attribute need not reach them.)
template <bool kMeters, size_t kG, class G, class... Rest>
OPL2_KERNEL_INLINE int32_t RunGroups(const LaneBlock& b, GroupState* state, const StepInput& in) {
  int32_t sum = 0;
  if ((b.groups >> kG) & 1) {
    sum = RunGroup<typename G::I, kMeters>(*b.lanes, state[kG], G::first, *b.tables, in);
  }
  if constexpr (sizeof...(Rest) > 0) {
    sum += RunGroups<kMeters, kG + 1, Rest...>(b, state, in);
  }
  return sum;
}

template <size_t kG, class G, class... Rest>
void InitGroups(const LaneBlock& b, GroupState* state) {
  if ((b.groups >> kG) & 1) state[kG].rates = RatesInUse(*b.lanes, G::first, G::I::W);
  if constexpr (sizeof...(Rest) > 0) InitGroups<kG + 1, Rest...>(b, state);
}

template <class G, class...>
struct FirstOf {
  using I = typename G::I;
};

// The DAC stage over a block: clamp, then drop the low bits the exponent
// leaves out (sum & ~(2^shift - 1) equals (sum >> shift) << shift).
template <class I>
void DacBlock(const int32_t* sums, int16_t* out, uint32_t n) {
  using V = typename I::V;
  uint32_t i = 0;
  for (; i + I::W <= n; i += I::W) {
    const V sum = I::Max(I::Min(I::Load(sums + i), I::Set1(32767)), I::Set1(-32768));
    const V magnitude = I::Xor(sum, I::template SraI<31>(sum));
    V low = I::Set1(0);
    for (int k = 0; k < 6; ++k) {
      low = I::Or(low, I::And(I::CmpGt(magnitude, I::Set1((512 << k) - 1)), I::Set1(1 << k)));
    }
    I::StoreS16(out + i, I::AndNot(low, sum));
  }
  for (; i < n; ++i) out[i] = DacValue(sums[i]);
}

// kLane8: the single lanes are exactly lane 8 (the usual case: channel 8
// sounding beside a vector group), at a lane known when compiling.
template <bool kMeters, bool kLane8, class... Groups>
void RenderLanes(const LaneBlock& b) {
  alignas(32) int32_t sums[kMaxBlock];
  const Tables& t = *b.tables;
  ChipClock clock = b.clock;
  GroupState state[sizeof...(Groups)];
  InitGroups<0, Groups...>(b, state);
  // The single lanes, each in plain registers.
  int singles[9];
  GroupState single_state[9];
  int single_count = 0;
  for (int l = 0; l < 9; ++l) {
    if (!((b.singles >> l) & 1)) continue;
    single_state[single_count].rates = RatesInUse(*b.lanes, l, 1);
    singles[single_count++] = l;
  }
  for (uint32_t i = 0; i < b.n; ++i) {
    const uint32_t low = clock.env_counter & 0x1FFF;
    const int z = low == 0 ? 13 : std::countr_zero(low);
    const int odd = clock.odd ? 1 : 0;
    const int counter_low = static_cast<int>(clock.env_counter & 3);
    // The same index as StepPattern().
    const StepInput in{z, odd, odd * 4 + counter_low,
                       t.step_mask[(odd * 14 + z) * 4 + counter_low]};
    int32_t sum = RunGroups<kMeters, 0, Groups...>(b, state, in);
    if constexpr (kLane8) {
      sum += RunGroup<Scalar1, kMeters>(*b.lanes, single_state[0], 8, t, in);
    } else {
      for (int k = 0; k < single_count; ++k) {
        sum += RunGroup<Scalar1, kMeters>(*b.lanes, single_state[k], singles[k], t, in);
      }
    }
    sums[i] = sum;
    const uint8_t tremolo = clock.tremolo;
    StepClock(clock);
    if (clock.tremolo != tremolo) {
      SetTremolo(*b.lanes, clock.tremolo, b.loaded);
      for (GroupState& g : state) g.recheck = true;
      for (int k = 0; k < single_count; ++k) single_state[k].recheck = true;
    }
  }
  DacBlock<typename FirstOf<Groups...>::I>(sums, b.out, b.n);
}

// Entry point for a kernel file: the block with or without meters.
template <class... Groups>
void RenderLaneBlock(const LaneBlock& b) {
  const bool lane8 = b.singles == 1u << 8;
  if (b.meters) {
    lane8 ? RenderLanes<true, true, Groups...>(b) : RenderLanes<true, false, Groups...>(b);
  } else {
    lane8 ? RenderLanes<false, true, Groups...>(b) : RenderLanes<false, false, Groups...>(b);
  }
}

}  // namespace
}  // namespace opl2::detail
