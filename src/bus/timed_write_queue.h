// A fixed-size single-consumer queue of timed register writes, from the
// threads that play the song to the audio thread. Producers take turns (the
// player never writes from two threads at once) and are serialised by a
// mutex; the consumer never locks and never waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace opl2 {

struct DeviceWrite {
  uint64_t sample;  // device sample before which the write is applied
  uint8_t reg;
  uint8_t value;
  bool reset = false;  // instead of a write: the chip comes out of reset here
};

class TimedWriteQueue {
 public:
  static constexpr uint32_t kCapacity = 1u << 17;

  TimedWriteQueue() : slots_(std::make_unique<DeviceWrite[]>(kCapacity)) {}

  // False when the queue is full.
  bool TryPush(const DeviceWrite& w) {
    std::lock_guard<std::mutex> lock(producer_);
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == kCapacity) return false;
    slots_[tail & (kCapacity - 1)] = w;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // The oldest write, if any, without taking it (consumer only).
  const DeviceWrite* Front() const {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    return &slots_[head & (kCapacity - 1)];
  }
  void Pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  bool Empty() const {
    return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
  }

 private:
  std::unique_ptr<DeviceWrite[]> slots_;
  std::mutex producer_;
  std::atomic<uint32_t> head_{0};
  std::atomic<uint32_t> tail_{0};
};

}  // namespace opl2
