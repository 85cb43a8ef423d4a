// The SDL device output on SDL's disk driver, which writes what it plays to a
// file: at the chip's rate the samples go out as they are made; a device at
// another rate gets them through the resampler, the same tone at its rate.
#include "output/sdl_device_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace opl2 {
namespace {

// A 1 kHz sine at the chip's rate, amplitude 10,000.
class Tone : public SampleSource {
 public:
  void Produce(int16_t* out, int count) override {
    for (int i = 0; i < count; ++i, ++n_) {
      out[i] = static_cast<int16_t>(std::lround(
          10000.0 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(n_) / kChipSampleRateHz)));
    }
  }

 private:
  uint64_t n_ = 0;
};

std::vector<int16_t> PlayOnDiskDriver(int rate, SdlDeviceOutput* output, const std::string& file) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  Tone tone;
  SdlDeviceOutput::Request request;
  request.rate = rate;
  EXPECT_TRUE(output->Open(&tone, request)) << output->error();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  output->Close();
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  std::filesystem::remove(file);
  return samples;
}

// Rising zero crossings per second, and the largest value, after the first
// 20 ms (the resampler's start).
std::pair<double, int> ToneOf(const std::vector<int16_t>& s, int rate) {
  int crossings = 0, peak = 0;
  const size_t from = static_cast<size_t>(rate / 50);
  for (size_t i = from + 1; i < s.size(); ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) ++crossings;
    peak = std::max(peak, std::abs(static_cast<int>(s[i])));
  }
  return {crossings * static_cast<double>(rate) / static_cast<double>(s.size() - from - 1), peak};
}

TEST(SdlDeviceOutput, PlaysAtTheChipsRateOrResamplesToTheDevicesRate) {
  const std::string file = "/tmp/opl2-device-" + std::to_string(getpid()) + ".raw";
  for (int rate : {0, 44100}) {
    SdlDeviceOutput output;
    const std::vector<int16_t> played = PlayOnDiskDriver(rate, &output, file);
    const int expected_rate = rate == 0 ? kChipSampleRateHz : rate;
    EXPECT_EQ(output.device_rate(), expected_rate);
    EXPECT_EQ(output.resampling(), rate != 0);
    EXPECT_EQ(output.device_buffer(), 512);
    EXPECT_NEAR(output.buffer_in_chip_samples(), 512.0 * kChipSampleRateHz / expected_rate, 1.0);
    ASSERT_GT(played.size(), static_cast<size_t>(expected_rate / 10));
    const auto [frequency, peak] = ToneOf(played, expected_rate);
    EXPECT_NEAR(frequency, 1000.0, 10.0) << rate;
    EXPECT_NEAR(peak, 10000, 300) << rate;
  }
}

}  // namespace
}  // namespace opl2
