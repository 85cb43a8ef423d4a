// A sound output through WinMM's waveOut: 16-bit mono at a given rate, fed
// by a callback on a thread of its own, the way SDL's audio callback is.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace opl2 {

class WaveOutDevice {
 public:
  // Fills `out` with the next `count` samples. Runs on the device's thread.
  using FillFunction = void (*)(void* user, int16_t* out, int count);

  static constexpr int kBuffers = 4;

  WaveOutDevice() = default;
  ~WaveOutDevice();
  WaveOutDevice(const WaveOutDevice&) = delete;
  WaveOutDevice& operator=(const WaveOutDevice&) = delete;

  // Opens the default output at `rate` Hz with kBuffers buffers of
  // `buffer_samples` each, fills them all and starts playing. False with
  // *error set when the system refuses.
  bool Open(int rate, int buffer_samples, FillFunction fill, void* user, std::string* error);
  // Stops at once (what is queued is dropped) and closes the device.
  void Close();

  bool is_open() const { return wave_ != nullptr; }
  // Samples the device has played since Open.
  uint64_t played_samples();

 private:
  void Feed();
  void Queue(int index);

  HWAVEOUT wave_ = nullptr;
  HANDLE buffer_done_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::thread feeder_;
  FillFunction fill_ = nullptr;
  void* user_ = nullptr;
  int buffer_samples_ = 0;
  std::unique_ptr<int16_t[]> samples_;
  WAVEHDR headers_[kBuffers] = {};
  int next_ = 0;  // the buffer that finishes next
  uint64_t position_wraps_ = 0;
  uint32_t last_position_ = 0;
};

// The text of a WinMM output error code.
std::string WaveOutErrorText(MMRESULT result);

}  // namespace opl2
