// LiveOutput's device on Windows: WinMM's waveOut at the chip's own rate.
#include <chrono>
#include <thread>

#include "output/live_output.h"

namespace opl2 {
namespace {

void FillCallback(void* self, int16_t* out, int count) {
  static_cast<LiveOutput*>(self)->Fill(out, count);
}

}  // namespace

bool LiveOutput::Open() {
  if (!device_.Open(kNativeRate, kBufferSamples, FillCallback, this, &error_)) return false;
  open_ = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (samples_played() < kRunningSamples && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void LiveOutput::Drain(int max_ms) {
  if (!open_) return;
  // waveOut holds several buffers beyond what has been made: wait until the
  // device has played the last write and a buffer after it.
  const uint64_t until = last_write_sample_ + kBufferSamples;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(max_ms);
  while ((!queue_.Empty() || device_.played_samples() < until) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Close();
}

void LiveOutput::Close() {
  if (!open_) return;
  device_.Close();
  open_ = false;
}

}  // namespace opl2
