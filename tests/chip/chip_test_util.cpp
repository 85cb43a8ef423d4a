#include "chip/chip_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace opl2::testing {

std::string ReferenceDir() {
  return std::string(OPL2_TEST_DATA_DIR) + "/opl2-reference";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<int16_t> ReadS16(const std::string& path) {
  const std::string bytes = ReadFile(path);
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const auto lo = static_cast<uint8_t>(bytes[2 * i]);
    const auto hi = static_cast<uint8_t>(bytes[2 * i + 1]);
    samples[i] = static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
  }
  return samples;
}

RegStream LoadStream(const std::string& path) {
  RegStream stream;
  std::string error;
  EXPECT_TRUE(ParseRegStream(ReadFile(path), &stream, &error)) << path << ": " << error;
  return stream;
}

Match Compare(const std::vector<int16_t>& ours, const std::vector<int16_t>& reference, size_t lag) {
  Match m;
  double signal = 0, noise = 0;
  for (size_t i = 0; i < ours.size() && i + lag < reference.size(); ++i) {
    const double r = reference[i + lag];
    const double d = r - ours[i];
    signal += r * r;
    noise += d * d;
    ++m.compared;
    if (d == 0) {
      ++m.equal;
    } else if (m.first_mismatch == SIZE_MAX) {
      m.first_mismatch = i;
    }
  }
  m.snr_db =
      noise == 0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(signal / noise);
  return m;
}

}  // namespace opl2::testing
