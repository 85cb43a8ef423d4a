// A SampleSource played on Windows' sound output through WinMM's waveOut, at
// the chip's rate, with the interface of SdlDeviceOutput. A thread of its own
// refills each buffer as the device finishes it. The buffers are at least
// kMinBufferSamples long, whatever is asked for: waveOut passes through the
// system's mixer, which wants more than SDL's callbacks. There is no
// resampler: a device that refuses the chip's rate is no device here.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "output/sample_source.h"

namespace opl2 {

class WaveOutDeviceOutput {
 public:
  struct Request {
    int buffer_samples = 512;  // samples per buffer
    int rate = 0;              // 0: the chip's rate (no other is offered)
  };

  static constexpr int kBuffers = 4;
  static constexpr int kMinBufferSamples = 1024;

  WaveOutDeviceOutput() = default;
  ~WaveOutDeviceOutput();
  WaveOutDeviceOutput(const WaveOutDeviceOutput&) = delete;
  WaveOutDeviceOutput& operator=(const WaveOutDeviceOutput&) = delete;

  // Opens the default output, fills every buffer from `source` and starts
  // playing. False with error() set when the system refuses.
  bool Open(SampleSource* source, const Request& request);
  // Lets what is queued play out (a few buffers at most), then stops and
  // closes the device.
  void Close();

  bool is_open() const { return wave_ != nullptr; }
  const std::string& error() const { return error_; }
  int device_rate() const { return device_rate_; }
  int device_buffer() const { return buffer_samples_; }
  int buffer_in_chip_samples() const { return buffer_samples_; }
  bool resampling() const { return false; }

 private:
  void Feed();
  void Queue(int index);
  bool AllDone() const;

  SampleSource* source_ = nullptr;
  HWAVEOUT wave_ = nullptr;
  HANDLE buffer_done_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::thread feeder_;
  std::string error_;
  int device_rate_ = 0;
  int buffer_samples_ = 0;
  std::unique_ptr<int16_t[]> samples_;
  WAVEHDR headers_[kBuffers] = {};
  int next_ = 0;  // the buffer that finishes next
};

// The text of a WinMM output error code.
std::string WaveOutErrorText(MMRESULT result);

}  // namespace opl2
