// The parts of the VGM log format this project writes and reads: the header
// layout, the command bytes, and the 44,100 Hz sample clock of its waits.
#pragma once

#include <cstdint>

#include "chip/chip_clock.h"

namespace opl2::vgm {

inline constexpr uint32_t kVersion151 = 0x151;  // BCD
inline constexpr uint32_t kLowestVersion = 0x100;
inline constexpr uint32_t kHighestVersion = 0x171;

inline constexpr uint32_t kSampleRate = 44'100;
inline constexpr uint32_t kYm3812Clock = kMasterClockHz;
// Clock bits above the frequency: dual chip and a chip-specific flag.
inline constexpr uint32_t kClockFlagsMask = 0xC000'0000;

// Header fields (byte offsets from the start of the file). The offsets that
// point into the file are stored relative to their own field.
inline constexpr uint32_t kIdentOffset = 0x00;
inline constexpr uint32_t kEofOffset = 0x04;
inline constexpr uint32_t kVersionOffset = 0x08;
inline constexpr uint32_t kGd3Offset = 0x14;
inline constexpr uint32_t kTotalSamplesOffset = 0x18;
inline constexpr uint32_t kLoopOffset = 0x1C;
inline constexpr uint32_t kLoopSamplesOffset = 0x20;
inline constexpr uint32_t kDataOffset = 0x34;
inline constexpr uint32_t kYm3812ClockOffset = 0x50;
// Where data starts in files before 1.50, and when the data offset is 0.
inline constexpr uint32_t kLegacyDataStart = 0x40;
// Where this project's files start their data.
inline constexpr uint32_t kDataStart = 0x100;

inline constexpr char kIdent[4] = {'V', 'g', 'm', ' '};
inline constexpr char kGd3Ident[4] = {'G', 'd', '3', ' '};
inline constexpr uint32_t kGd3Version = 0x100;
inline constexpr uint32_t kGd3HeaderSize = 12;  // ident, version, length

// Commands.
inline constexpr uint8_t kCmdYm3812Write = 0x5A;  // register, value
inline constexpr uint8_t kCmdWait = 0x61;         // 16-bit sample count
inline constexpr uint8_t kCmdWait735 = 0x62;      // one 60 Hz frame
inline constexpr uint8_t kCmdWait882 = 0x63;      // one 50 Hz frame
inline constexpr uint8_t kCmdEnd = 0x66;
inline constexpr uint8_t kCmdShortWait = 0x70;  // 0x70..0x7F: 1..16 samples
inline constexpr uint16_t kLongestWait = 0xFFFF;

// The chip sample before which a VGM player that runs the YM3812 at its own
// rate (3,579,545 / 72 Hz) applies a write that waits `wait` samples of
// 44,100 Hz: floor(wait * 3,579,545 / (72 * 44,100)) + 1. It is the rule our
// renderer follows for a write at master clock m: before sample
// floor(m / 72) + 1.
constexpr uint64_t ChipSampleOfWait(uint64_t wait) {
  return wait * kYm3812Clock / (uint64_t{kMasterClocksPerSample} * kSampleRate) + 1;
}

// The wait position of a write made at master clock `clock`: the first
// position a player applies before the write's own chip sample,
// floor(clock / 72) + 1. About 88.7 % of the chip's sample slots hold a
// 44.1 kHz instant; a write whose slot holds none goes to the first
// position after it, one chip sample late, never early. The positions rise
// with the clock, so the writes keep their order.
constexpr uint64_t WaitOfClock(uint64_t clock) {
  const uint64_t slots_before = clock / kMasterClocksPerSample;
  const uint64_t per_slot = uint64_t{kMasterClocksPerSample} * kSampleRate;
  return (slots_before * per_slot + kYm3812Clock - 1) / kYm3812Clock;
}

}  // namespace opl2::vgm
