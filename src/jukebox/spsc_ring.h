// A fixed-size queue from one thread to one other: neither side locks or
// waits, and nothing is allocated after construction. Used between the
// player's threads and the audio thread, which must never block.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace opl2::jukebox {

template <typename T, size_t kCapacity>
class SpscRing {
  static_assert((kCapacity & (kCapacity - 1)) == 0, "capacity must be a power of two");

 public:
  // Producer side. False when the queue is full.
  bool TryPush(const T& item) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == kCapacity) return false;
    slots_[tail & (kCapacity - 1)] = item;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer side. False when the queue is empty.
  bool TryPop(T* item) {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    *item = slots_[head & (kCapacity - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

 private:
  std::array<T, kCapacity> slots_{};
  std::atomic<uint32_t> head_{0};
  std::atomic<uint32_t> tail_{0};
};

}  // namespace opl2::jukebox
