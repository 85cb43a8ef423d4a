#include "lib/rate_converter.h"

#if OPL2_HAVE_SOXR
#include <soxr.h>
#endif

namespace opl2 {

#if OPL2_HAVE_SOXR

bool RateConverter::Available() {
  return true;
}

RateConverter::~RateConverter() {
  if (converter_ != nullptr) soxr_delete(static_cast<soxr_t>(converter_));
}

bool RateConverter::Open(double input_rate, double output_rate, std::string* error) {
  soxr_error_t err = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // one thread: same bytes every run
  converter_ = soxr_create(input_rate, output_rate, 1, &err, &io, &quality, &runtime);
  if (converter_ == nullptr) {
    *error = std::string("cannot convert the rate: ") + (err != nullptr ? err : "?");
    return false;
  }
  return true;
}

size_t RateConverter::Process(const float* in, size_t count, size_t* used, float* out,
                              size_t room) {
  size_t produced = 0;
  *used = 0;
  soxr_process(static_cast<soxr_t>(converter_), in, in == nullptr ? 0 : count, used, out, room,
               &produced);
  return produced;
}

void RateConverter::Clear() {
  soxr_clear(static_cast<soxr_t>(converter_));
}

#else

bool RateConverter::Available() {
  return false;
}

RateConverter::~RateConverter() = default;

bool RateConverter::Open(double, double, std::string* error) {
  *error = "this build has no rate converter: only the chip's own rate (sample_rate 0)";
  return false;
}

size_t RateConverter::Process(const float*, size_t, size_t* used, float*, size_t) {
  *used = 0;
  return 0;
}

void RateConverter::Clear() {}

#endif

}  // namespace opl2
