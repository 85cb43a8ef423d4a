#include "bus/stamped_write_queue.h"

#include "bus/bus_timeline.h"

namespace opl2 {

StampedWriteQueue::StampedWriteQueue(uint64_t write_capacity, uint64_t run_capacity)
    : write_capacity_(write_capacity),
      run_capacity_(run_capacity),
      // Left uninitialised: every slot is written before it is read. (Not
      // make_unique_for_overwrite: the WebAssembly toolchain's library lacks it.)
      writes_(new uint16_t[write_capacity]),
      runs_(std::make_unique<Run[]>(run_capacity)) {}

bool StampedWriteQueue::OpenRun(uint64_t clock, uint64_t marker_sample, StampKind marker) {
  const uint64_t tail = run_tail_.load(std::memory_order_relaxed);
  if (tail - run_head_.load(std::memory_order_acquire) == run_capacity_) return false;
  runs_[tail % run_capacity_] =
      Run{clock, write_tail_.load(std::memory_order_relaxed), marker_sample, marker};
  // Published before any of its writes, so a consumer that sees a write also
  // sees the run it belongs to.
  run_tail_.store(tail + 1, std::memory_order_release);
  run_open_ = true;
  next_clock_ = clock;
  return true;
}

bool StampedWriteQueue::PushWrite(uint64_t clock, uint8_t reg, uint8_t value) {
  const uint64_t tail = write_tail_.load(std::memory_order_relaxed);
  if (tail - write_head_.load(std::memory_order_acquire) == write_capacity_) return false;
  if ((!run_open_ || clock != next_clock_) && !OpenRun(clock, 0, StampKind::kWrite)) return false;
  writes_[tail % write_capacity_] = static_cast<uint16_t>(reg << 8 | value);
  write_tail_.store(tail + 1, std::memory_order_release);
  next_clock_ = clock + kMasterClocksPerWrite;
  return true;
}

bool StampedWriteQueue::PushMarker(uint64_t sample, StampKind kind) {
  // Writes at the marker's own sample continue its run.
  const uint64_t clock = sample == 0 ? 0 : (sample - 1) * kMasterClocksPerSample;
  return OpenRun(clock, sample, kind);
}

bool StampedWriteQueue::Front(StampedWrite* out) {
  for (;;) {
    const uint64_t head_run = run_head_.load(std::memory_order_relaxed);
    // The write tail first: every run that its writes belong to is then seen.
    const uint64_t write_tail = write_tail_.load(std::memory_order_acquire);
    const uint64_t run_tail = run_tail_.load(std::memory_order_acquire);
    if (head_run == run_tail) return false;
    const Run& run = runs_[head_run % run_capacity_];
    if (run.marker != StampKind::kWrite && !marker_done_) {
      *out = StampedWrite{run.marker_sample, 0, 0, run.marker};
      front_is_marker_ = true;
      return true;
    }
    const bool last = head_run + 1 == run_tail;
    const uint64_t end = last ? write_tail : runs_[(head_run + 1) % run_capacity_].first_write;
    const uint64_t next = write_head_.load(std::memory_order_relaxed);
    if (next < end) {
      const uint16_t packed = writes_[next % write_capacity_];
      const uint64_t clock = run.clock + (next - run.first_write) * kMasterClocksPerWrite;
      *out = StampedWrite{BusTimeline::SampleOfWrite(clock), static_cast<uint8_t>(packed >> 8),
                          static_cast<uint8_t>(packed & 0xFF), StampKind::kWrite};
      front_is_marker_ = false;
      return true;
    }
    if (last) return false;  // the open run may still grow
    run_head_.store(head_run + 1, std::memory_order_release);
    marker_done_ = false;
  }
}

void StampedWriteQueue::Pop() {
  if (front_is_marker_) {
    marker_done_ = true;
    front_is_marker_ = false;
    return;
  }
  write_head_.store(write_head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

}  // namespace opl2
