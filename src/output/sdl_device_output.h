// A SampleSource played on the system's sound device (SDL2) with small
// buffers. The device is asked for the chip's rate and a buffer of the size
// requested, and may grant others: the buffer it grants is what the caller
// must stay ahead of, and at another rate the samples go through a
// resampler (libsoxr) on the audio thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/sample_source.h"

struct soxr;

namespace opl2 {

class SdlDeviceOutput {
 public:
  struct Request {
    int buffer_samples = 512;  // device frames per callback
    int rate = 0;              // 0: the chip's rate, or whatever the device prefers
    std::string device;        // an output device by name (DeviceNames); empty: the default
  };

  // The names of the output devices SDL offers, or nothing with `error` set.
  static std::vector<std::string> DeviceNames(std::string* error);

  SdlDeviceOutput();
  ~SdlDeviceOutput();
  SdlDeviceOutput(const SdlDeviceOutput&) = delete;
  SdlDeviceOutput& operator=(const SdlDeviceOutput&) = delete;

  // Opens the device (the default one unless named) and starts pulling from
  // `source`. False with error() set (SDL's own message included) when
  // there is none.
  bool Open(SampleSource* source, const Request& request);
  // Stops and closes the device. SDL waits here for the device's thread, so
  // a device that no longer pulls can hold this call: a process about to
  // end need not call it.
  void Close();

  bool is_open() const { return open_; }
  const std::string& error() const { return error_; }
  int device_rate() const { return device_rate_; }
  // The device's buffer, in device frames and in chip samples.
  int device_buffer() const { return device_buffer_; }
  int buffer_in_chip_samples() const;
  bool resampling() const { return resampler_ != nullptr; }

 private:
  static void Callback(void* self, uint8_t* stream, int bytes);
  void Fill(int16_t* out, int count);
  static size_t ResamplerInput(void* self, const void** data, size_t requested);

  SampleSource* source_ = nullptr;
  uint32_t device_ = 0;
  bool open_ = false;
  std::string error_;
  int device_rate_ = 0;
  int device_buffer_ = 0;

  // At another rate than the chip's: chip samples in, device frames out.
  struct ResamplerDeleter {
    void operator()(soxr* resampler) const;
  };
  std::unique_ptr<soxr, ResamplerDeleter> resampler_;
  std::unique_ptr<int16_t[]> chip_block_;
  int chip_block_size_ = 0;
};

}  // namespace opl2
