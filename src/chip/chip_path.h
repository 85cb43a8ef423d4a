// The code paths that compute the chip's samples. The scalar path computes
// one sample at a time, slot by slot, and is the reference; the others
// render runs of samples between writes in blocks, with the 9 channels side
// by side in vector registers, and skip silent channels. Every path gives
// the same samples.
#pragma once

#include <cstdint>
#include <span>

namespace opl2 {

enum class ChipPath : uint8_t { kScalar, kSse41, kAvx2, kSimd128 };

// "scalar", "sse41", "avx2", "simd128".
const char* ChipPathName(ChipPath path);

// Whether this build has the path and the CPU can run it.
bool ChipPathSupported(ChipPath path);

// Every supported path, the reference first.
std::span<const ChipPath> SupportedChipPaths();

// The path new chips take: OPL2_CHIP_PATH (scalar, sse41, avx2, simd128)
// when it names a supported path, otherwise the fastest supported one. An
// unknown or unsupported name is reported once, on one line of standard
// error, and the fastest supported path is used instead.
ChipPath DefaultChipPath();

// Parses a path name; false for an unknown one.
bool ParseChipPath(const char* name, ChipPath* path);

}  // namespace opl2
