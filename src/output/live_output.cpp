#include "output/live_output.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace opl2 {
namespace {

using Clock = std::chrono::steady_clock;

// Sound servers take a while to start pulling samples; Open waits until the
// device has pulled this many buffers (at most a second).
constexpr int kRunningBuffers = 3;
// After the fade, the device plays this many buffers of silence before the
// drain is over, so that what it holds in its own buffers is silence too.
constexpr int kSilentBuffers = 3;
// A drain gives up on a device that has pulled nothing for this long.
constexpr auto kStalled = std::chrono::milliseconds(250);

int64_t PeriodSamples(uint32_t period_opm_cycles) {
  return static_cast<int64_t>(static_cast<uint64_t>(period_opm_cycles) * kMasterClockHz /
                              kOpmClockHz / kMasterClocksPerSample);
}

}  // namespace

LiveOutput::LiveOutput(uint64_t write_capacity)
    : chip_(std::make_unique<QueuedChip>(write_capacity)), port_(&timeline_, this) {}

LiveOutput::~LiveOutput() {
  Close();
}

bool LiveOutput::Open() {
  SdlDeviceOutput::Request request;
  request.buffer_samples = kRequestedBufferSamples;
  if (!device_.Open(chip_.get(), request)) {
    error_ = device_.error();
    return false;
  }
  buffer_ = device_.buffer_in_chip_samples();
  open_ = true;
  const auto deadline = Clock::now() + std::chrono::seconds(1);
  const uint64_t running = static_cast<uint64_t>(kRunningBuffers) * static_cast<uint64_t>(buffer_);
  while (chip_->position() < running && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void LiveOutput::OpenWithoutDevice(int buffer_samples) {
  buffer_ = buffer_samples;
  open_ = true;
}

void LiveOutput::Close() {
  device_.Close();
  open_ = false;
}

int64_t LiveOutput::DeviceNow() const {
  return static_cast<int64_t>(chip_->EstimatedPosition(now_(), static_cast<uint64_t>(buffer_)));
}

int64_t LiveOutput::DeviceSampleOf(uint64_t timeline_clock) const {
  return static_cast<int64_t>(BusTimeline::SampleOfWrite(timeline_clock)) + offset_;
}

void LiveOutput::Anchor(uint64_t timeline_sample, int64_t lead) {
  offset_ = DeviceNow() + lead - static_cast<int64_t>(timeline_sample);
}

void LiveOutput::AnchorStart() {
  // The song's time line starts a buffer ahead of the device, with the
  // chip's reset: the chip's own counters then run as in a render of the
  // song, so the device plays exactly what the render holds. The first tick
  // comes a period later, and waits until the device is near it.
  Anchor(0, buffer_);
  chip_->queue().PushMarker(static_cast<uint64_t>(std::max<int64_t>(offset_, 0)),
                            StampKind::kReset);
  anchored_ = true;
  for (int i = 0; i < start_writes_; ++i) Push(start_[static_cast<size_t>(i)]);
  start_writes_ = 0;
}

void LiveOutput::Push(const TimedWrite& write) {
  const int64_t clock =
      static_cast<int64_t>(write.clock) + offset_ * static_cast<int64_t>(kMasterClocksPerSample);
  if (!chip_->queue().PushWrite(static_cast<uint64_t>(std::max<int64_t>(clock, 0)), write.reg,
                                write.value)) {
    ++counters_.lost_writes;
  }
}

bool LiveOutput::TickDue(uint64_t next_opm_cycles, uint32_t period_opm_cycles, int ran) {
  const uint64_t start = std::max(TickStartClock(next_opm_cycles), timeline_.cursor());
  const int64_t period = PeriodSamples(period_opm_cycles);
  const int64_t least = buffer_;
  if (!anchored_) AnchorStart();
  int64_t lead = DeviceSampleOf(start) - DeviceNow();
  if (lead < 0) {
    // The timer fell behind the device: this tick's writes would come too
    // late. The time line jumps ahead instead.
    if (counters_.ticks > 0) ++counters_.reanchors;
    Anchor(BusTimeline::SampleOfWrite(start), least + period / 2);
    lead = least + period / 2;
  }
  if (ran >= kMaxTicksPerCall || lead >= least + period) {
    if (ran == 0) ++counters_.held;
    return false;
  }
  if (ran > 0) ++counters_.extra;
  ++counters_.ticks;
  return true;
}

void LiveOutput::set_clock(NowFunction now) {
  now_ = now;
  chip_->set_clock(now);
}

void LiveOutput::OnTimedWrite(const TimedWrite& write) {
  // The start-up's writes wait for the first tick, which places the song's
  // time line on the device.
  if (!anchored_ && start_writes_ < kStartWrites) {
    start_[static_cast<size_t>(start_writes_++)] = write;
    return;
  }
  if (!anchored_) AnchorStart();
  // Writes between ticks (the shutdown's key-off and reset) come at any
  // time: one the device has already passed moves the time line up to the
  // device, so it sounds at once and the writes after it keep their spacing.
  if (!in_tick_) {
    const int64_t now = DeviceNow();
    if (DeviceSampleOf(write.clock) < now) Anchor(BusTimeline::SampleOfWrite(write.clock), 0);
  }
  Push(write);
}

bool LiveOutput::Drain(int max_ms) {
  if (!open_) return true;
  if (!anchored_) AnchorStart();
  const uint64_t fade_at = static_cast<uint64_t>(std::max<int64_t>(
      DeviceSampleOf(timeline_.cursor()), static_cast<int64_t>(chip_->position())));
  if (!chip_->queue().PushMarker(fade_at, StampKind::kFade)) chip_->FadeNow();
  const uint64_t until = fade_at + kFadeSamples +
                         static_cast<uint64_t>(kSilentBuffers) * static_cast<uint64_t>(buffer_);

  const auto deadline = Clock::now() + std::chrono::milliseconds(max_ms);
  uint64_t seen = chip_->position();
  auto progressed = Clock::now();
  while (chip_->position() < until) {
    const auto now = Clock::now();
    if (chip_->position() != seen) {
      seen = chip_->position();
      progressed = now;
    }
    if (now >= deadline || now - progressed >= kStalled) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (chip_->position() >= until) return true;
  // Out of time: fade out wherever the device is, if it still pulls.
  chip_->FadeNow();
  const auto fade_deadline = Clock::now() + std::chrono::milliseconds(100);
  while (!chip_->silent() && Clock::now() < fade_deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return chip_->silent();
}

int64_t LiveOutput::LeadOfNextWrite() const {
  return DeviceSampleOf(timeline_.cursor()) - DeviceNow();
}

LiveOutput::Counters LiveOutput::counters() const {
  Counters c = counters_;
  c.late_writes = chip_->late_writes();
  return c;
}

}  // namespace opl2
