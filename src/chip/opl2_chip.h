// Sample-exact emulation of the YM3812 (OPL2) FM synthesis chip.
//
// Feed it register writes and pull signed 16-bit samples at the chip's native
// rate (3,579,545 Hz / 72). Samples are the values the chip hands its DAC
// (floating point with a 3-bit exponent), so loud samples lose low bits just
// as on the real part. Rhythm mode is not emulated: its bits are accepted and
// have no effect. Pure computation: no I/O, threads or allocation.
//
// Timing. Writes made between two calls take effect before the next sample,
// split between the 18 operator slots the way the chip commits them (some
// slots see a write one sample later than others). Writes to 0xBD and 0x08
// reach channels 6-8 a sample *earlier* than channels 0-5; to model that the
// chip runs one sample behind its input: every output sample is the chip's
// sample from one call earlier (kLatencySamples). The very first sample after
// Reset() is therefore 0. To render a timed write list with no latency,
// render one extra sample at the end and drop the first one (see
// RenderRegStream in chip/reg_stream.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "chip/chip_clock.h"
#include "chip/chip_counters.h"
#include "chip/chip_path.h"
#include "chip/opl2_slot.h"
#include "chip/opl2_tables.h"

namespace opl2 {

class Chip {
 public:
  static constexpr int kLatencySamples = 1;

  // Global counters that pace the envelopes and the LFOs, as seen by the
  // next sample the chip computes.
  using Clock = ChipClock;

  Chip();

  // All registers 0, every envelope silent in release, counters at the state
  // of a chip that has just come out of reset (Clock's defaults).
  void Reset();

  // Writes `value` to register `reg`. Waveform writes (0xE0-0xF5) are
  // dropped unless 0x01 bit 5 (WSE) is set at the time. The test bits of
  // 0x01, CSM (0x08 bit 7) and rhythm mode (0xBD bits 5-0) have no effect.
  // Channel indices 9-11 of the 0xA0/0xB0/0xC0 rows alias channels 0-2;
  // 12-15, like unused operator offsets, select nothing.
  void Write(uint8_t reg, uint8_t value);

  // Computes one sample (on the per-sample path, whatever Path() is: the
  // same sample, at the lowest cost for a lone one).
  int16_t Sample();

  // Computes n samples into out, in blocks on the vector paths.
  void Generate(int16_t* out, size_t n);

  // Status port: 0x06 when no timer has expired; bit 7 IRQ, bit 6 timer 1,
  // bit 5 timer 2.
  uint8_t ReadStatus() const;

  // True when every slot is muted (envelope at maximum attenuation outside
  // attack, and no key-on waiting) and no write is pending, so every
  // further sample is 0 until something is written.
  bool IsSilent() const;

  // Replaces the global counters used by the next sample the chip computes
  // (the first Sample() after Reset() computes none, it only fills the
  // latency); for reproducing captures that start from other values.
  void SetClock(const Clock& clock);
  Clock GetClock() const;

  // Envelope attenuation level (0 = loudest, 511 = silent) of the slot at
  // processing position 0-17 (ascending register offset).
  int SlotLevel(int position) const;

  // Output-stage mute: bit n set leaves channel n (0-8) out of the output
  // sum, both of its operators, whatever the connection. Its operators keep
  // running (phases, envelopes, feedback), so unmuting brings back exactly
  // the signal it would have had. Mask 0 leaves the output untouched. The
  // mask is a setting of the output stage, not a register: Reset() keeps it.
  void SetMutedChannels(uint16_t mask);

  // Channel level meters, off by default (and kept by Reset()). While on,
  // the chip records each channel's largest |contribution| to the output sum
  // (0 for a muted channel); TakeChannelPeaks() hands them over and starts
  // again from 0. While off it hands over zeros.
  void SetChannelMeters(bool on);
  void TakeChannelPeaks(std::array<int32_t, 9>& peaks);

  // The code that computes the samples: every path gives the same samples
  // and state. A new chip takes DefaultChipPath(). SetPath() returns false,
  // changing nothing, for a path this build and CPU do not support.
  bool SetPath(ChipPath path);
  ChipPath Path() const { return path_; }

 private:
  // Writes collected between two samples, one value per register.
  struct PendingWrites {
    std::array<uint8_t, 256> value{};
    std::array<bool, 256> present{};
    std::array<uint8_t, 256> order{};
    int count = 0;
    void Add(uint8_t reg, uint8_t v);
    void Clear();
  };

  enum class Phase : uint8_t { kEarly, kOnTime, kLate };

  void Apply(uint8_t reg, uint8_t value, Phase phase);
  void ApplyOperator(int position, uint8_t base, uint8_t value);
  void ApplyChannel(int ch, uint8_t row, uint8_t value, Phase phase);
  void ComputeSample();
  template <int kCh>
  int32_t RunChannel(const detail::SampleContext& c);
  template <bool kMix>
  int32_t RunChannels(const detail::SampleContext& c);
  int32_t MixChannel(int ch, int32_t contribution);
  void Step();  // one sample: compute, advance the clocks, apply due writes
  void AdvanceClock();
  // The fast paths: runs of samples between writes, in blocks.
  void GenerateBlocks(int16_t* out, size_t n);
  bool KeyChangePending() const;
  void RenderBlock(int16_t* out, uint32_t n);
  void ApplyPending();
  void WriteTimerControl(uint8_t value);

  const Tables* tables_ = nullptr;
  std::array<detail::Slot, 18> slots_;  // by processing position
  // Writes since the last sample (gaps_[current_gap_]) and before it.
  PendingWrites gaps_[2];
  int current_gap_ = 0;
  std::array<uint8_t, 256> regs_{};  // every register as last written
  Clock clock_;
  // Carriers of channels 6-8 from the previous sample.
  std::array<int32_t, 3> delayed_{};
  int16_t output_ = 0;   // DAC value of the last computed sample
  bool primed_ = false;  // false until the first sample has been produced

  // Output stage settings and meters.
  uint16_t muted_ = 0;
  bool meters_on_ = false;
  std::array<int32_t, 9> peaks_{};

  ChipTimers timers_;
  ChipPath path_ = ChipPath::kScalar;
};

}  // namespace opl2
