// The chip's clock and sample rate: the one place these numbers are written.
#pragma once

#include <cstdint>

namespace opl2 {

// The YM3812's master clock, and the master clocks per output sample.
inline constexpr uint64_t kMasterClockHz = 3'579'545;
inline constexpr uint64_t kMasterClocksPerSample = 72;

inline constexpr double kChipClockHz = static_cast<double>(kMasterClockHz);
// 49,715.9 Hz: every sample of the emulated chip.
inline constexpr double kChipSampleRate = kChipClockHz / kMasterClocksPerSample;
// The same rounded to a whole number, for devices and file headers.
inline constexpr int kChipSampleRateHz = 49'716;

}  // namespace opl2
