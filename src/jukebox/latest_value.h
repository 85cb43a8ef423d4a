// The latest value one thread publishes, read by another without either
// side locking or waiting: three slots, one being written, one holding the
// latest complete value, one being read (a triple buffer). A reader sees
// whole values only, and always the newest complete one.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace opl2::jukebox {

template <typename T>
class LatestValue {
 public:
  // Writer side: fill write_slot(), then Publish().
  T& write_slot() { return slots_[write_]; }
  void Publish() {
    const uint8_t previous = middle_.exchange(write_ | kFresh, std::memory_order_acq_rel);
    write_ = previous & kIndex;
  }

  // Reader side: the newest published value (the last one read when nothing
  // new came). True when it is new since the last call.
  bool Read(T* out) {
    bool fresh = false;
    if (middle_.load(std::memory_order_relaxed) & kFresh) {
      const uint8_t previous = middle_.exchange(read_, std::memory_order_acq_rel);
      read_ = previous & kIndex;
      fresh = true;
    }
    *out = slots_[read_];
    return fresh;
  }

 private:
  static constexpr uint8_t kFresh = 4;
  static constexpr uint8_t kIndex = 3;
  std::array<T, 3> slots_{};
  uint8_t write_ = 0;
  std::atomic<uint8_t> middle_{1};
  uint8_t read_ = 2;
};

}  // namespace opl2::jukebox
