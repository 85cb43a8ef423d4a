// Converts the chip's native-rate samples to another rate, with the quality
// the renderer uses for audio files. Built without libsoxr, it offers none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace opl2 {

class RateConverter {
 public:
  RateConverter() = default;
  ~RateConverter();
  RateConverter(const RateConverter&) = delete;
  RateConverter& operator=(const RateConverter&) = delete;

  // False, with a reason, when the rate cannot be had.
  bool Open(double input_rate, double output_rate, std::string* error);
  // Takes up to `count` samples (how many in *used) and writes what it can
  // give to `out` (room for `room`); returns how many. `in` null drains the
  // end: call until it gives nothing.
  size_t Process(const float* in, size_t count, size_t* used, float* out, size_t room);
  // Forgets everything taken so far, as if just opened.
  void Clear();

  static bool Available();

 private:
  [[maybe_unused]] void* converter_ = nullptr;  // a soxr_t where there is one
};

}  // namespace opl2
