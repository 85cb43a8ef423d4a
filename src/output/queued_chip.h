// The emulated chip on a sound device's thread, fed from a queue of stamped
// register writes: each write is applied before its sample, so the device
// plays exactly what a render of the same writes holds. At the end it fades
// its output to silence instead of stopping on the chip's last value.
//
// The producer side (the threads that play the song) pushes into queue() and
// asks where the device is (position(), EstimatedPosition()); the audio
// thread calls Produce.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "bus/stamped_write_queue.h"
#include "chip/opl2_chip.h"
#include "output/sample_source.h"

namespace opl2 {

// The end fade: under 5 ms from the output's value down to 0.
inline constexpr int kFadeSamples = 240;

// Where the time of the device's pulls comes from (tests simulate time).
using NowFunction = std::chrono::steady_clock::time_point (*)();

class QueuedChip : public SampleSource {
 public:
  // Room for `write_capacity` queued writes (see StampedWriteQueue).
  explicit QueuedChip(uint64_t write_capacity);

  StampedWriteQueue& queue() { return queue_; }
  void set_clock(NowFunction now) { now_ = now; }

  // Audio thread.
  void Produce(int16_t* out, int count) override;

  // Samples made so far (any thread).
  uint64_t position() const { return position_.load(std::memory_order_acquire); }
  // Where the device is now, read between its pulls: the position after the
  // last pull plus the time since then at the chip's rate, at most
  // `max_ahead` samples further.
  uint64_t EstimatedPosition(std::chrono::steady_clock::time_point now, uint64_t max_ahead) const;

  // Starts the end fade at the next sample made (any thread).
  void FadeNow() { fade_requested_.store(true, std::memory_order_release); }
  // True once the fade is over and the output is 0 for good.
  bool silent() const { return silent_.load(std::memory_order_acquire); }
  // Writes that reached the audio thread after their sample had been made
  // (applied at once, a little late): the producer fell behind the device.
  uint64_t late_writes() const { return late_writes_.load(std::memory_order_acquire); }

 private:
  void Apply(const StampedWrite& w, uint64_t pos);
  void StartFade();

  Chip chip_;
  StampedWriteQueue queue_;
  NowFunction now_ = &std::chrono::steady_clock::now;
  std::atomic<uint64_t> position_{0};
  std::atomic<uint64_t> late_writes_{0};
  std::atomic<bool> fade_requested_{false};
  std::atomic<bool> silent_{false};
  int fade_left_ = -1;  // samples of fade to go; -1 before the fade

  // The last pull, published as a pair (sequence lock: odd while written).
  std::atomic<uint32_t> pull_sequence_{0};
  std::atomic<uint64_t> pull_position_{0};
  std::atomic<int64_t> pull_time_ns_{0};
};

}  // namespace opl2
