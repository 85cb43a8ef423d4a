#include "output/live_output.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace opl2 {
namespace {

// Writes land this far behind the device's clock: about two buffers.
constexpr int64_t kLatencySamples = 2 * LiveOutput::kBufferSamples;
// Re-anchor when the time line gets closer than this to the device, or
// further ahead than this.
constexpr int64_t kMinLead = LiveOutput::kBufferSamples / 4;
constexpr int64_t kMaxLead = 6 * LiveOutput::kBufferSamples;
}  // namespace

LiveOutput::LiveOutput() : port_(&timeline_, this) {
  chip_.Reset();
}

LiveOutput::~LiveOutput() {
  Close();
}

void LiveOutput::Anchor(uint64_t timeline_sample) {
  offset_ = static_cast<int64_t>(samples_played()) + kLatencySamples -
            static_cast<int64_t>(timeline_sample);
  if (!anchored_) {
    // The chip's own counters start where the song's time line starts, so
    // the device plays exactly what a render of the song holds.
    Push({static_cast<uint64_t>(std::max<int64_t>(offset_, 0)), 0, 0, true});
  }
  anchored_ = true;
}

void LiveOutput::Push(const DeviceWrite& w) {
  // A full queue means the audio thread is far behind; wait for it briefly
  // rather than lose a write.
  for (int tries = 0; !queue_.TryPush(w) && tries < 200; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void LiveOutput::BeginTick(uint64_t opm_cycles) {
  timeline_.BeginTick(opm_cycles);
  const uint64_t start = BusTimeline::SampleOfWrite(timeline_.cursor());
  const int64_t lead =
      static_cast<int64_t>(start) + offset_ - static_cast<int64_t>(samples_played());
  if (!anchored_ || lead < kMinLead || lead > kMaxLead) {
    if (anchored_) ++reanchors_;
    Anchor(start);
  }
}

void LiveOutput::OnTimedWrite(const TimedWrite& write) {
  if (!anchored_) Anchor(write.sample);
  const int64_t at = static_cast<int64_t>(write.sample) + offset_;
  const uint64_t sample = static_cast<uint64_t>(std::max<int64_t>(at, 0));
  last_write_sample_ = std::max(last_write_sample_, sample);
  Push({sample, write.reg, write.value});
}

void LiveOutput::Fill(int16_t* out, int count) {
  uint64_t pos = device_pos_.load(std::memory_order_relaxed);
  int done = 0;
  while (done < count) {
    const DeviceWrite* w;
    while ((w = queue_.Front()) != nullptr && w->sample <= pos) {
      if (w->reset) {
        chip_.Reset();
      } else {
        chip_.Write(w->reg, w->value);
      }
      queue_.Pop();
    }
    int n = count - done;
    if (w != nullptr) n = static_cast<int>(std::min<uint64_t>(n, w->sample - pos));
    chip_.Generate(out + done, static_cast<size_t>(n));
    done += n;
    pos += static_cast<uint64_t>(n);
  }
  device_pos_.store(pos, std::memory_order_release);
}

}  // namespace opl2
