// Helpers shared by the chip tests: loading reference data and comparing
// renders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chip/reg_stream.h"

namespace opl2::testing {

// Directory holding the reference register streams and renders.
std::string ReferenceDir();

// Reads a whole file; fails the current test if it cannot.
std::string ReadFile(const std::string& path);

// Reads raw 16-bit little-endian samples.
std::vector<int16_t> ReadS16(const std::string& path);

// Parses a .regs file; fails the current test if it does not parse.
RegStream LoadStream(const std::string& path);

struct Match {
  size_t compared = 0;
  size_t equal = 0;
  size_t first_mismatch = SIZE_MAX;
  double snr_db = 0;  // infinity when every sample matches
  double ExactPercent() const { return compared ? 100.0 * equal / compared : 0; }
};

// Compares ours[i] with reference[i + lag] wherever both exist.
Match Compare(const std::vector<int16_t>& ours, const std::vector<int16_t>& reference, size_t lag);

}  // namespace opl2::testing
