#include "output/queued_chip.h"

#include <algorithm>

namespace opl2 {
namespace {

int64_t Nanoseconds(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}  // namespace

QueuedChip::QueuedChip(uint64_t write_capacity) : queue_(write_capacity) {
  chip_.Reset();
}

void QueuedChip::Apply(const StampedWrite& w, uint64_t pos) {
  switch (w.kind) {
    case StampKind::kWrite:
      if (w.sample < pos) late_writes_.fetch_add(1, std::memory_order_relaxed);
      chip_.Write(w.reg, w.value);
      break;
    case StampKind::kReset:
      chip_.Reset();
      break;
    case StampKind::kFade:
      StartFade();
      break;
  }
}

void QueuedChip::StartFade() {
  if (fade_left_ < 0) fade_left_ = kFadeSamples;
}

void QueuedChip::Produce(int16_t* out, int count) {
  const int64_t pulled_at = Nanoseconds(now_());
  uint64_t pos = position_.load(std::memory_order_relaxed);
  int done = 0;
  while (done < count) {
    StampedWrite w;
    bool pending;
    while ((pending = queue_.Front(&w)) && w.sample <= pos) {
      Apply(w, pos);
      queue_.Pop();
    }
    if (fade_requested_.exchange(false, std::memory_order_acq_rel)) StartFade();

    int n = count - done;
    if (pending) n = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(n), w.sample - pos));
    int16_t* block = out + done;
    if (fade_left_ == 0) {
      std::fill(block, block + n, int16_t{0});
    } else {
      chip_.Generate(block, static_cast<size_t>(n));
      for (int i = 0; i < n && fade_left_ > 0; ++i) {
        block[i] = static_cast<int16_t>(block[i] * fade_left_ / (kFadeSamples + 1));
        if (--fade_left_ == 0) std::fill(block + i + 1, block + n, int16_t{0});
      }
    }
    done += n;
    pos += static_cast<uint64_t>(n);
  }
  if (fade_left_ == 0) silent_.store(true, std::memory_order_release);
  position_.store(pos, std::memory_order_release);
  const uint32_t s = pull_sequence_.load(std::memory_order_relaxed);
  pull_sequence_.store(s + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  pull_position_.store(pos, std::memory_order_relaxed);
  pull_time_ns_.store(pulled_at, std::memory_order_relaxed);
  pull_sequence_.store(s + 2, std::memory_order_release);
}

uint64_t QueuedChip::EstimatedPosition(std::chrono::steady_clock::time_point now,
                                       uint64_t max_ahead) const {
  uint64_t pos;
  int64_t at;
  for (;;) {
    const uint32_t before = pull_sequence_.load(std::memory_order_acquire);
    pos = pull_position_.load(std::memory_order_relaxed);
    at = pull_time_ns_.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if ((before & 1) == 0 && pull_sequence_.load(std::memory_order_relaxed) == before) break;
  }
  if (at == 0) return pos;  // no pull yet
  const int64_t since = std::clamp<int64_t>(Nanoseconds(now) - at, 0, 1'000'000'000);
  const uint64_t ahead = static_cast<uint64_t>(since) * kChipSampleRateHz / 1'000'000'000;
  return pos + std::min(ahead, max_ahead);
}

}  // namespace opl2
