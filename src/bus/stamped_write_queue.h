// Register writes on their way from the threads that play a song to the
// audio thread, each stamped with the device sample before which it applies.
//
// Writes made back to back on the bus lie 104 master clocks apart, so the
// queue keeps them in runs: a run holds the master clock of its first write
// and the writes follow as register and value, two bytes each; a write whose
// clock does not continue the open run starts a new one. A run may also carry
// a marker (a chip reset, the start of the end fade) at a sample of its own.
//
// One producer at a time (callers serialise), one consumer; neither ever
// waits or locks. Its size is fixed when it is made: a producer that keeps
// its lead bounded sizes it for the busiest tick it can make, and never finds
// it full.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace opl2 {

enum class StampKind : uint8_t {
  kWrite,  // a register write
  kReset,  // the chip is reset here (its counters start again)
  kFade,   // the output fades to silence from here
};

struct StampedWrite {
  uint64_t sample = 0;  // applied before this device sample
  uint8_t reg = 0;
  uint8_t value = 0;
  StampKind kind = StampKind::kWrite;
};

class StampedWriteQueue {
 public:
  // A producer that keeps its lead bounded has a few dozen runs in flight.
  static constexpr uint64_t kDefaultRunCapacity = 1024;

  // Room for `write_capacity` writes in `run_capacity` runs. The writes are
  // left uninitialised: their pages are only touched as writes reach them.
  explicit StampedWriteQueue(uint64_t write_capacity, uint64_t run_capacity = kDefaultRunCapacity);

  uint64_t write_capacity() const { return write_capacity_; }
  uint64_t run_capacity() const { return run_capacity_; }

  // Producer. False only when the queue is full (nothing is then queued).
  // `clock` is the write's master clock on the device's time line; it is
  // applied before sample clock / 72 + 1.
  bool PushWrite(uint64_t clock, uint8_t reg, uint8_t value);
  // A marker that acts before `sample`; writes pushed after it follow it.
  bool PushMarker(uint64_t sample, StampKind kind);

  // Consumer: the oldest entry without taking it; false when there is none.
  bool Front(StampedWrite* out);
  // Takes the entry Front returned.
  void Pop();

  // Writes pushed and taken so far (any thread).
  uint64_t writes_pushed() const { return write_tail_.load(std::memory_order_acquire); }
  uint64_t writes_taken() const { return write_head_.load(std::memory_order_acquire); }

 private:
  struct Run {
    uint64_t clock = 0;        // master clock of its first write
    uint64_t first_write = 0;  // index of its first write
    uint64_t marker_sample = 0;
    StampKind marker = StampKind::kWrite;  // kWrite: no marker
  };

  bool OpenRun(uint64_t clock, uint64_t marker_sample, StampKind marker);

  const uint64_t write_capacity_;
  const uint64_t run_capacity_;
  std::unique_ptr<uint16_t[]> writes_;  // register << 8 | value
  std::unique_ptr<Run[]> runs_;

  std::atomic<uint64_t> write_head_{0};
  std::atomic<uint64_t> write_tail_{0};
  std::atomic<uint64_t> run_head_{0};
  std::atomic<uint64_t> run_tail_{0};

  // Producer only.
  bool run_open_ = false;
  uint64_t next_clock_ = 0;  // the clock that continues the open run

  // Consumer only.
  bool marker_done_ = false;  // the head run's marker has been taken
  bool front_is_marker_ = false;
};

}  // namespace opl2
