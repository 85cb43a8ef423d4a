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
// of a group not worth running whole) take SingleLane: the same steps in
// plain registers, with the envelope update of I = Scalar1.
//
// Operations of I: Load, Store, Set1, Add, And, AndNot(a, b) = ~a & b, Or,
// Xor, Max, Min, Abs, CmpEq, CmpGt, MulLo, SrlI<k>, SraI<k>, SllI<k>,
// MoveMask, HSum, AddSums(v, out) (out[k] += HSum(v[k]) for k < W),
// Feedback(sum, lanes, first) = sum >> (9 - FB) in the low 10 bits,
// GatherWave, GatherMagnitude (table lookups per lane), StoreS16; optionally
// ComputeMagnitude(a) (the exponent stage without a lookup, from the low 16
// bits of a).
#pragma once

#include <algorithm>
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

// One lane in plain registers: the set the single lanes' envelope update
// runs on.
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
};

// The group of I::W lanes starting at lane kFirst.
template <class Isa, int kFirst>
struct Group {
  using I = Isa;
  static constexpr int first = kFirst;
};

// What the envelope clock gives every slot in one sample.
struct StepInput {
  int32_t z;    // lowest set bit of the counter's low 13 bits, 13 for none
  int32_t odd;  // 1 in odd samples
  int fast;     // index into step_fast
};

// The clock input of a sample from its envelope pattern (StepPattern()).
OPL2_KERNEL_INLINE StepInput InputOf(uint8_t pattern) {
  const int odd = pattern >= 56 ? 1 : 0;
  return {(pattern >> 2) - odd * 14, odd, odd * 4 + (pattern & 3)};
}

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

// One operator stage: output for modulation input `mod_in` (0-1023), the
// phase moved on. The waveform tables repeat, so the index needs no wrap.
// kFeedsBack: the modulators, whose output reaches the next sample through
// feedback: where the set can compute the exponent stage instead of looking
// it up, that chain is shorter.
template <class I, bool kFeedsBack>
OPL2_KERNEL_INLINE typename I::V RunOperators(const OperatorLanes& o, int f, const Tables& t,
                                              typename I::V& phase, typename I::V mod_in) {
  using V = typename I::V;
  const V index = I::Add(I::Add(I::template SrlI<kIndexShift>(phase), I::Load(o.wave + f)), mod_in);
  phase = I::Add(phase, I::Load(reinterpret_cast<const int32_t*>(o.inc) + f));
  const V wave = I::GatherWave(t.wave[0].data(), index);
  V magnitude;
  if constexpr (kFeedsBack && requires { I::ComputeMagnitude(wave); }) {
    // The sign half of the entry rides along (the sum never carries into
    // it): the computation reads only the low 16 bits.
    magnitude = I::ComputeMagnitude(I::Add(wave, I::Load(o.e8 + f)));
  } else {
    magnitude = I::GatherMagnitude(t.magnitude.data(),
                                   I::Add(I::And(wave, I::Set1(0xFFFF)), I::Load(o.e8 + f)));
  }
  return I::Xor(magnitude, I::template SraI<16>(wave));
}

// A group's values carried from sample to sample, kept in registers over a
// block.
template <class I>
struct GroupCarry {
  using V = typename I::V;
  V mod_phase, car_phase, out1, out2, delayed;

  void Load(const ChannelLanes& c, int f) {
    mod_phase = I::Load(reinterpret_cast<const int32_t*>(c.mod.phase) + f);
    car_phase = I::Load(reinterpret_cast<const int32_t*>(c.car.phase) + f);
    out1 = I::Load(c.out1 + f);
    out2 = I::Load(c.out2 + f);
    delayed = I::Load(c.delayed + f);
  }
  void Store(ChannelLanes& c, int f) const {
    I::Store(reinterpret_cast<int32_t*>(c.mod.phase) + f, mod_phase);
    I::Store(reinterpret_cast<int32_t*>(c.car.phase) + f, car_phase);
    I::Store(c.out1 + f, out1);
    I::Store(c.out2 + f, out2);
    I::Store(c.delayed + f, delayed);
  }
};

template <class I, bool kMeters>
OPL2_KERNEL_INLINE typename I::V RunGroup(ChannelLanes& c, GroupState& g, GroupCarry<I>& k, int f,
                                          const Tables& t, uint8_t pattern) {
  using V = typename I::V;
  const bool steps = (t.step_mask[pattern] & g.rates) != 0;
  if (steps || g.recheck) {
    const StepInput in = InputOf(pattern);
    const uint32_t mod_change = UpdateEnvelope<I>(c.mod, f, in);
    const uint32_t car_change = UpdateEnvelope<I>(c.car, f, in);
    g.recheck = steps || (mod_change | car_change) != 0;
    if ((mod_change | car_change) != 0) [[unlikely]] {
      ChangeEnvelopeStates(c.mod, f, mod_change);
      ChangeEnvelopeStates(c.car, f, car_change);
      g.rates = RatesInUse(c, f, I::W);
    }
  }
  const V feedback = I::And(I::Feedback(I::Add(k.out1, k.out2), c, f), I::Load(c.fb_mask + f));
  const V mod_out = RunOperators<I, true>(c.mod, f, t, k.mod_phase, feedback);
  k.out2 = k.out1;
  k.out1 = mod_out;
  const V car_out =
      RunOperators<I, false>(c.car, f, t, k.car_phase, I::And(mod_out, I::Load(c.fm + f)));

  const V car_heard = I::And(car_out, I::Load(c.car.heard_now + f));
  const V delay = I::Load(c.delay + f);
  const V car_part = I::Or(I::And(delay, k.delayed), I::AndNot(delay, car_heard));
  k.delayed = I::And(delay, car_heard);
  const V mod_heard = I::And(mod_out, I::Load(c.mod.heard_now + f));
  const V contribution = I::And(I::Add(mod_heard, car_part), I::Load(c.keep + f));
  if constexpr (kMeters) {
    I::Store(c.peak + f, I::Max(I::Load(c.peak + f), I::Abs(contribution)));
  }
  return contribution;
}

// Runs group kG and the ones after it on one sample. (No lambdas here: a
// target attribute need not reach them.)
template <bool kMeters, size_t kG, class G, class... Rest, class Carry>
OPL2_KERNEL_INLINE typename G::I::V RunGroups(const LaneBlock& b, GroupState* state, Carry* carry,
                                              uint8_t pattern) {
  using I = typename G::I;
  typename I::V sum = I::Set1(0);
  if ((b.groups >> kG) & 1) {
    sum = RunGroup<I, kMeters>(*b.lanes, state[kG], carry[kG], G::first, *b.tables, pattern);
  }
  if constexpr (sizeof...(Rest) > 0) {
    sum = I::Add(sum, RunGroups<kMeters, kG + 1, Rest...>(b, state, carry, pattern));
  }
  return sum;
}

template <size_t kG, class G, class... Rest, class Carry>
void InitGroups(const LaneBlock& b, GroupState* state, Carry* carry) {
  if ((b.groups >> kG) & 1) {
    state[kG].rates = RatesInUse(*b.lanes, G::first, G::I::W);
    carry[kG].Load(*b.lanes, G::first);
  }
  if constexpr (sizeof...(Rest) > 0) InitGroups<kG + 1, Rest...>(b, state, carry);
}

template <size_t kG, class G, class... Rest, class Carry>
void StoreGroups(const LaneBlock& b, const Carry* carry) {
  if ((b.groups >> kG) & 1) carry[kG].Store(*b.lanes, G::first);
  if constexpr (sizeof...(Rest) > 0) StoreGroups<kG + 1, Rest...>(b, carry);
}

template <class G, class...>
struct FirstOf {
  using I = typename G::I;
};

// The tremolo value from sample `at` of the block on.
struct TremoloStep {
  uint32_t at;
  uint8_t value;
};

// The clock over a block, walked once for every lane: each sample's
// envelope pattern (the index of Tables::step_mask and Tables::step) and
// the samples where the tremolo moves (every 64th).
struct BlockClock {
  uint8_t pattern[kMaxBlock];
  TremoloStep tremolo[kMaxBlock / 64 + 1];
  int tremolo_steps = 0;
};

// The pattern index of an even sample whose envelope counter reads
// `counter` (an odd one adds 56): a 1 above bit 12 makes the lowest set
// bit 13 where the low 13 bits are 0.
OPL2_KERNEL_INLINE uint32_t EvenPattern(uint32_t counter) {
  return static_cast<uint32_t>(std::countr_zero((counter & 0x1FFF) | 0x2000)) * 4 + (counter & 3);
}

void WalkClock(const ChipClock& clock, uint32_t n, BlockClock& bc) {
  // The envelope counter moves at the start of every even sample (wrapping
  // from 2^18 to 1), so an even sample and the odd one after it share it.
  // Counters 4m + 1, 4m + 2 and 4m + 3 have their lowest set bit at 0, 1
  // and 0: from an even sample at a multiple of 4, only the first of eight
  // samples needs its lowest set bit found.
  static constexpr uint8_t kTail[6] = {1, 57, 6, 62, 3, 59};
  uint32_t counter = clock.env_counter;
  bool odd = clock.odd;
  uint32_t i = 0;
  while (i < n) {
    if (!odd && (counter & 3) == 0 && counter + 4 < 1u << 18 && i + 8 <= n) {
      const uint32_t even = EvenPattern(counter);
      bc.pattern[i] = static_cast<uint8_t>(even);
      bc.pattern[i + 1] = static_cast<uint8_t>(56 + even);
      std::memcpy(bc.pattern + i + 2, kTail, sizeof kTail);
      i += 8;
      counter += 4;
      continue;
    }
    bc.pattern[i++] = static_cast<uint8_t>((odd ? 56 : 0) + EvenPattern(counter));
    odd = !odd;
    if (!odd) counter = counter + 1 == 1u << 18 ? 1 : counter + 1;
  }
  // The tremolo moves where the 10-bit LFO counter passes 64k + 1.
  ChipClock c = clock;
  for (uint32_t i = 0; i + 1 < n;) {
    const uint32_t to_step = (65u - (c.lfo_counter & 63u)) & 63u;  // samples until it reads 1
    const uint32_t step = to_step == 0 ? 64 : to_step;
    if (i + step >= n) break;
    i += step;
    AdvanceClock(c, step);
    bc.tremolo[bc.tremolo_steps++] = {i, c.tremolo};
  }
}

// What a single lane's envelopes give its operators until the next update,
// and when that is.
struct LaneEnvelope {
  int32_t mod_e8, car_e8, mod_heard, car_heard;
  uint64_t rates;  // the rates the lane's operators use
  bool recheck;    // update again in the next sample
};

// A single lane's envelope update in a sample where a rate steps or a level
// changed.
OPL2_KERNEL_INLINE LaneEnvelope UpdateSingleLane(ChannelLanes& c, int l, uint8_t pattern,
                                                 bool steps, uint64_t rates) {
  const StepInput in = InputOf(pattern);
  const uint32_t mod_change = UpdateEnvelope<Scalar1>(c.mod, l, in);
  const uint32_t car_change = UpdateEnvelope<Scalar1>(c.car, l, in);
  if ((mod_change | car_change) != 0) [[unlikely]] {
    ChangeEnvelopeStates(c.mod, l, mod_change);
    ChangeEnvelopeStates(c.car, l, car_change);
    rates = RatesInUse(c, l, 1);
  }
  const int32_t keep = c.keep[l];
  return {c.mod.e8[l],        c.car.e8[l], c.mod.heard_now[l] & keep,
          c.car.heard_now[l], rates,       steps || (mod_change | car_change) != 0};
}

// One channel on its own, sample by sample: the steps of RunGroup<Scalar1>
// with the channel's running values in registers (the object lives in the
// caller's loop and is taken apart by the compiler). kDelay: channels 6-8,
// whose carriers are heard a sample late; kFeedback: the modulator feeds
// back.
template <bool kMeters, bool kDelay, bool kFeedback>
struct SingleLane {
  ChannelLanes& c;
  const int l;
  const Tables& t;
  uint32_t mod_phase = c.mod.phase[l], car_phase = c.car.phase[l];
  const uint32_t mod_inc = c.mod.inc[l], car_inc = c.car.inc[l];
  int32_t out1 = c.out1[l], out2 = c.out2[l], delayed = c.delayed[l], peak = c.peak[l];
  const WaveEntry* const mod_wave = t.wave[0].data() + c.mod.wave[l];
  const WaveEntry* const car_wave = t.wave[0].data() + c.car.wave[l];
  const int32_t fb_shift = c.fb_shift[l], fm = c.fm[l], keep = c.keep[l];
  // Set by the first sample (a new block rechecks). A muted channel adds
  // nothing: the modulator's mask takes the mute in, and the carrier's part
  // is masked as it is added (a delayed carrier keeps its value for the
  // next block).
  LaneEnvelope e{0, 0, 0, 0, RatesInUse(c, l, 1), true};

  // The channel's contribution to one sample's sum.
  OPL2_KERNEL_INLINE int32_t Step(uint8_t pattern) {
    const bool steps = (t.step_mask[pattern] & e.rates) != 0;
    if (steps || e.recheck) [[unlikely]] {
      e = UpdateSingleLane(c, l, pattern, steps, e.rates);
    }
    int32_t feedback = 0;
    if constexpr (kFeedback) feedback = ((out1 + out2) >> fb_shift) & 1023;
    const int16_t* const magnitude = t.magnitude.data();
    const WaveEntry mw = mod_wave[((mod_phase >> kIndexShift) + feedback) & 1023];
    const int32_t mod_out = magnitude[mw.att + e.mod_e8] ^ mw.sign_mask;
    mod_phase += mod_inc;
    out2 = out1;
    out1 = mod_out;
    const WaveEntry cw =
        car_wave[((car_phase >> kIndexShift) + static_cast<uint32_t>(mod_out & fm)) & 1023];
    const int32_t car_out = (magnitude[cw.att + e.car_e8] ^ cw.sign_mask) & e.car_heard;
    car_phase += car_inc;
    int32_t contribution = mod_out & e.mod_heard;
    if constexpr (kDelay) {
      contribution += delayed & keep;
      delayed = car_out;
    } else {
      contribution += car_out & keep;
    }
    if constexpr (kMeters) peak = std::max(peak, contribution < 0 ? -contribution : contribution);
    return contribution;
  }

  void Tremolo(uint8_t value) {
    SetTremolo(c, value, 1u << l);
    e.recheck = true;
  }

  void Store() {
    c.mod.phase[l] = mod_phase;
    c.car.phase[l] = car_phase;
    c.out1[l] = out1;
    c.out2[l] = out2;
    c.delayed[l] = kDelay ? delayed : 0;
    c.peak[l] = peak;
  }
};

// A lane that is not there (the groups' loop without channel 8).
struct NoLane {
  static int32_t Step(uint8_t) { return 0; }
  static void Tremolo(uint8_t) {}
  static void Store() {}
};

// The vector groups over the block, and `lane` beside them in the same
// loop (its scalar work fills gaps in the vector work): their sum into
// sums[0..n).
template <bool kMeters, class Lane, class... Groups>
void RunGroupsOverBlock(const LaneBlock& b, const BlockClock& bc, int32_t* sums, Lane lane) {
  using I = typename FirstOf<Groups...>::I;
  using V = typename I::V;
  GroupState state[sizeof...(Groups)];
  GroupCarry<I> carry[sizeof...(Groups)] = {};
  InitGroups<0, Groups...>(b, state, carry);
  const uint32_t lanes = b.loaded & ~b.singles;
  // The groups' sums of I::W samples in a row, added across lanes together.
  V recent[I::W];
  uint32_t i = 0;
  for (int s = 0;; ++s) {
    const uint32_t end = s < bc.tremolo_steps ? bc.tremolo[s].at : b.n;
    for (; i < end; ++i) {
      const uint8_t pattern = bc.pattern[i];
      recent[i % I::W] = RunGroups<kMeters, 0, Groups...>(b, state, carry, pattern);
      sums[i] = lane.Step(pattern);
      if (i % I::W == I::W - 1) I::AddSums(recent, sums + i + 1 - I::W);
    }
    if (s == bc.tremolo_steps) break;
    SetTremolo(*b.lanes, bc.tremolo[s].value, lanes);
    for (GroupState& g : state) g.recheck = true;
    lane.Tremolo(bc.tremolo[s].value);
  }
  for (uint32_t k = b.n - b.n % I::W; k < b.n; ++k) sums[k] += I::HSum(recent[k % I::W]);
  StoreGroups<0, Groups...>(b, carry);
  lane.Store();
}

// One channel on its own over the block, added into sums[0..n).
template <bool kMeters, bool kDelay, bool kFeedback>
[[gnu::noinline]] void RunSingleLane(ChannelLanes& c, int l, const Tables& t, const BlockClock& bc,
                                     int32_t* sums, uint32_t n) {
  SingleLane<kMeters, kDelay, kFeedback> lane{c, l, t};
  uint32_t i = 0;
  for (int s = 0;; ++s) {
    const uint32_t end = s < bc.tremolo_steps ? bc.tremolo[s].at : n;
    for (; i < end; ++i) sums[i] += lane.Step(bc.pattern[i]);
    if (s == bc.tremolo_steps) break;
    lane.Tremolo(bc.tremolo[s].value);
  }
  lane.Store();
}

template <bool kMeters, bool kDelay>
void RunSingleLane(ChannelLanes& c, int l, const Tables& t, const BlockClock& bc, int32_t* sums,
                   uint32_t n) {
  if (c.fb_mask[l] != 0) {
    RunSingleLane<kMeters, kDelay, true>(c, l, t, bc, sums, n);
  } else {
    RunSingleLane<kMeters, kDelay, false>(c, l, t, bc, sums, n);
  }
}

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
#pragma GCC unroll 6
    for (int k = 0; k < 6; ++k) {
      low = I::Or(low, I::And(I::CmpGt(magnitude, I::Set1((512 << k) - 1)), I::Set1(1 << k)));
    }
    I::StoreS16(out + i, I::AndNot(low, sum));
  }
  for (; i < n; ++i) out[i] = DacValue(sums[i]);
}

// The clock walked once, the vector groups over the block, then each single
// lane added in on its own, then the DAC.
template <bool kMeters, class... Groups>
void RenderLanes(const LaneBlock& b) {
  alignas(32) int32_t sums[kMaxBlock];
  BlockClock bc;
  WalkClock(b.clock, b.n, bc);
  uint32_t singles = b.singles;
  if (b.groups != 0 && singles == 1u << 8) {
    // The usual dense case: channel 8 beside a full vector group.
    ChannelLanes& c = *b.lanes;
    if (c.fb_mask[8] != 0) {
      RunGroupsOverBlock<kMeters, SingleLane<kMeters, true, true>, Groups...>(
          b, bc, sums, SingleLane<kMeters, true, true>{c, 8, *b.tables});
    } else {
      RunGroupsOverBlock<kMeters, SingleLane<kMeters, true, false>, Groups...>(
          b, bc, sums, SingleLane<kMeters, true, false>{c, 8, *b.tables});
    }
    singles = 0;
  } else if (b.groups != 0) {
    RunGroupsOverBlock<kMeters, NoLane, Groups...>(b, bc, sums, NoLane{});
  } else {
    std::memset(sums, 0, b.n * sizeof *sums);
  }
  for (; singles != 0; singles &= singles - 1) {
    const int l = std::countr_zero(singles);
    if (l >= 6) {
      RunSingleLane<kMeters, true>(*b.lanes, l, *b.tables, bc, sums, b.n);
    } else {
      RunSingleLane<kMeters, false>(*b.lanes, l, *b.tables, bc, sums, b.n);
    }
  }
  DacBlock<typename FirstOf<Groups...>::I>(sums, b.out, b.n);
}

// Entry point for a kernel file: the block with or without meters.
template <class... Groups>
void RenderLaneBlock(const LaneBlock& b) {
  if (b.meters) {
    RenderLanes<true, Groups...>(b);
  } else {
    RenderLanes<false, Groups...>(b);
  }
}

}  // namespace
}  // namespace opl2::detail
