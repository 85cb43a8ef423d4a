#include "render/song_renderer.h"

#include <algorithm>
#include <cmath>

#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"

namespace opl2 {
namespace {

// Silence is looked for at least this often once every channel has stopped.
constexpr uint64_t kSilenceCheckSamples = 16'384;

uint64_t SecondsToSamples(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<uint64_t>(std::llround(seconds * kChipSampleRate));
}

}  // namespace

SongRenderer::SongRenderer(const RenderOptions& options)
    : options_(options), engine_(std::make_unique<Engine>()), port_(&timeline_, this) {
  engine_->port = &port_;
  engine_->timer = &timer_;
  max_samples_ = options_.max_seconds > 0 ? SecondsToSamples(options_.max_seconds) : UINT64_MAX;
  fade_length_ = SecondsToSamples(options_.fade_seconds);
  cut_fade_length_ = std::min(fade_length_, max_samples_ / 2);
  cut_fade_start_ = max_samples_ - cut_fade_length_;
  pending_.reserve(kQueuedWritesReserved);
}

SongRenderer::~SongRenderer() = default;

LoadResult SongRenderer::Start(const Song* song) {
  chip_.Reset();
  applied_.fill(0);
  timeline_.BeginTick(0);
  const LoadResult result = StartSong(*engine_, song);
  started_ = true;
  next_tick_sample_ = NextTickSample();
  return result;
}

uint64_t SongRenderer::NextTickSample() const {
  // The next tick's first write lands at its start, or after the writes
  // still running on from the ticks before it; no earlier sample can hear it.
  // Running it no sooner keeps only one tick's writes queued at a time.
  return BusTimeline::SampleOfWrite(
      std::max(TickStartClock(timer_.next_elapsed()), timeline_.cursor()));
}

void SongRenderer::OnTimedWrite(const TimedWrite& write) {
  if (observer_ != nullptr) observer_->OnWrite(write);
  if (scanning_) return;
  if (pending_head_ == pending_.size()) {
    pending_.clear();
    pending_head_ = 0;
  }
  pending_.push_back(write);
}

void SongRenderer::ApplyDueWrites() {
  while (pending_head_ < pending_.size() && pending_[pending_head_].sample <= position_) {
    const TimedWrite& w = pending_[pending_head_];
    chip_.Write(w.reg, w.value);
    applied_[w.reg] = w.value;
    ++pending_head_;
  }
}

bool SongRenderer::AllChannelsStopped() const {
  for (const ChannelState& ch : engine_->channels) {
    if (ch.active == 1 || ch.slide_active == 1) return false;
  }
  return true;
}

bool SongRenderer::LoopsDone() const {
  if (options_.loops < 0) return false;
  bool any_loop = false;
  for (const ChannelState& ch : engine_->channels) {
    if (ch.active != 1) continue;
    if (ch.has_loop_point != 1 || ch.loop_jumps < static_cast<uint32_t>(options_.loops)) {
      return false;
    }
    any_loop = true;
  }
  return any_loop;
}

void SongRenderer::CheckEnd() {
  if (end_sample_ != UINT64_MAX) return;
  if (AllChannelsStopped()) {
    if (scanning_) {
      if (scan_stop_sample_ == UINT64_MAX) scan_stop_sample_ = position_;
      return;
    }
    // No write can come any more: once the chip is silent, half a second.
    if (pending_head_ == pending_.size() && chip_.IsSilent()) {
      end_sample_ = position_ + SecondsToSamples(0.5);
    }
  } else if (LoopsDone()) {
    fade_start_ = position_;
    fade_clock_ = tick_clock_;
    end_sample_ = position_ + fade_length_;
  }
}

RenderEnd SongRenderer::end_reason() const {
  if (!started_ || position_ < std::min(max_samples_, end_sample_)) return RenderEnd::kNotEnded;
  if (fade_start_ != UINT64_MAX) return RenderEnd::kLoopsDone;
  if (end_sample_ <= max_samples_) return RenderEnd::kChannelsStopped;
  return RenderEnd::kCap;
}

uint64_t SongRenderer::end_clock() const {
  switch (end_reason()) {
    case RenderEnd::kLoopsDone:
      return fade_clock_;
    case RenderEnd::kChannelsStopped:
      return end_sample_ * kMasterClocksPerSample;
    default:
      return std::min(max_samples_, position_) * kMasterClocksPerSample;
  }
}

// Each fade scales a sample at position p by (samples left in it) / (its
// length); where the loop fade and the fade before the cap meet, the
// quieter one holds.
void SongRenderer::ApplyFades(int16_t* out, size_t n) const {
  const bool loop_fade = fade_start_ != UINT64_MAX && fade_length_ > 0;
  if (!loop_fade && !cut_fading_) return;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t p = position_ + i;
    int64_t left = INT64_MAX;
    int64_t length = 1;
    if (loop_fade) {
      const uint64_t into = std::min(p - fade_start_, fade_length_);
      left = static_cast<int64_t>(fade_length_ - into);
      length = static_cast<int64_t>(fade_length_);
    }
    if (cut_fading_ && p >= cut_fade_start_) {
      const auto cut_left = static_cast<int64_t>(max_samples_ - std::min(p, max_samples_));
      const auto cut_length = static_cast<int64_t>(cut_fade_length_);
      // cut_left / cut_length < left / length, compared without division.
      if (left == INT64_MAX || cut_left * length < left * cut_length) {
        left = cut_left;
        length = cut_length;
      }
    }
    if (left != INT64_MAX) out[i] = static_cast<int16_t>(out[i] * left / length);
  }
}

uint64_t SongRenderer::end_sample() const {
  return std::min(max_samples_, end_sample_);
}

void SongRenderer::RunTick() {
  // Every write before the tick goes to the chip first, so the renderer's
  // whole state is in its engine, chip, time line and timer here.
  ApplyDueWrites();
  if (listener_ != nullptr) listener_->AtTickBoundary(*this);
  if (!timer_.Advance()) {
    next_tick_sample_ = UINT64_MAX;  // never armed: no tick will come
    return;
  }
  timeline_.BeginTick(timer_.elapsed());
  tick_clock_ = timeline_.cursor();
  if (observer_ != nullptr) observer_->BeforeTick(*engine_, tick_clock_);
  TimerTick(*engine_);
  next_tick_sample_ = NextTickSample();
  CheckEnd();
}

size_t SongRenderer::Render(int16_t* out, size_t max) {
  if (!started_) return 0;
  size_t done = 0;
  while (done < max) {
    const uint64_t limit = std::min(max_samples_, end_sample_);
    if (position_ >= limit) break;
    if (position_ >= next_tick_sample_) {
      RunTick();
      continue;
    }
    ApplyDueWrites();
    if (!cut_fade_decided_ && position_ >= cut_fade_start_) {
      // The cap will end a render whose own end is not known by now.
      cut_fade_decided_ = true;
      cut_fading_ = cut_fade_length_ > 0 && end_sample_ > max_samples_;
    }
    const uint64_t next_check = (position_ / kSilenceCheckSamples + 1) * kSilenceCheckSamples;
    uint64_t stop = std::min<uint64_t>({limit, next_tick_sample_, next_check});
    if (pending_head_ < pending_.size()) stop = std::min(stop, pending_[pending_head_].sample);
    uint64_t until = std::min<uint64_t>(stop, position_ + (max - done));
    if (!cut_fade_decided_) until = std::min(until, cut_fade_start_);
    const size_t n = static_cast<size_t>(until - position_);
    chip_.Generate(out + done, n);
    ApplyFades(out + done, n);
    position_ += n;
    done += n;
    // Silence is looked for where the render itself stops, never where a
    // caller's buffer happens to end.
    if (until == stop && end_sample_ == UINT64_MAX && AllChannelsStopped()) {
      CheckEnd();
    }
  }
  return done;
}

EndScan SongRenderer::ScanWithoutChip(uint64_t horizon) {
  scanning_ = true;
  EndScan scan;
  for (;;) {
    const uint64_t limit = std::min({max_samples_, end_sample_, horizon});
    if (next_tick_sample_ >= limit) {
      position_ = limit;
      break;
    }
    position_ = next_tick_sample_;
    RunTick();
    if (scan_stop_sample_ != UINT64_MAX) break;
  }
  scan.stops = scan_stop_sample_ != UINT64_MAX;
  scan.stop_sample = scan_stop_sample_;
  const uint64_t end = std::min(max_samples_, end_sample_);
  scan.known = !scan.stops && end != UINT64_MAX && end <= horizon;
  scan.end_sample = scan.known ? end : 0;
  return scan;
}

bool SongRenderer::Save(RenderSnapshot* s) const {
  for (const ChannelState& ch : engine_->channels) {
    if (ch.loop_depth >= kSnapshotLoopDepths) return false;
  }
  s->channels = engine_->channels;
  for (int c = 0; c < kChannelCount; ++c) {
    const LoopTable& loops = engine_->loops[c];
    std::copy_n(loops.loop_start.begin(), kSnapshotLoopDepths, s->loop_start[c].begin());
    std::copy_n(loops.loop_count.begin(), kSnapshotLoopDepths, s->loop_count[c].begin());
  }
  s->seq = engine_->seq;
  s->chip = chip_;
  s->applied_registers = applied_;
  s->timeline = timeline_;
  s->timer = timer_;
  s->position = position_;
  s->next_tick_sample = next_tick_sample_;
  s->end_sample = end_sample_;
  s->fade_start = fade_start_;
  s->fade_clock = fade_clock_;
  s->tick_clock = tick_clock_;
  s->cut_fade_decided = cut_fade_decided_;
  s->cut_fading = cut_fading_;
  return true;
}

void SongRenderer::Restore(const RenderSnapshot& s) {
  engine_->channels = s.channels;
  for (int c = 0; c < kChannelCount; ++c) {
    LoopTable& loops = engine_->loops[c];
    std::copy_n(s.loop_start[c].begin(), kSnapshotLoopDepths, loops.loop_start.begin());
    std::copy_n(s.loop_count[c].begin(), kSnapshotLoopDepths, loops.loop_count.begin());
  }
  engine_->seq = s.seq;
  chip_ = s.chip;
  applied_ = s.applied_registers;
  chip_.SetMutedChannels(muted_);
  chip_.SetChannelMeters(meters_);
  std::array<int32_t, kChannelCount> stale;
  chip_.TakeChannelPeaks(stale);  // peaks of the saved past, not of what follows
  timeline_ = s.timeline;
  timer_ = s.timer;
  pending_.clear();
  pending_head_ = 0;
  position_ = s.position;
  next_tick_sample_ = s.next_tick_sample;
  end_sample_ = s.end_sample;
  fade_start_ = s.fade_start;
  fade_clock_ = s.fade_clock;
  tick_clock_ = s.tick_clock;
  cut_fade_decided_ = s.cut_fade_decided;
  cut_fading_ = s.cut_fading;
  started_ = true;
}

void SongRenderer::Rewind() {
  const Song* song = engine_->song;
  *engine_ = Engine{};
  engine_->port = &port_;
  engine_->timer = &timer_;
  timeline_ = BusTimeline{};
  timer_ = VirtualTimerB{};
  pending_.clear();
  pending_head_ = 0;
  position_ = 0;
  next_tick_sample_ = 0;
  end_sample_ = UINT64_MAX;
  fade_start_ = UINT64_MAX;
  tick_clock_ = 0;
  fade_clock_ = 0;
  cut_fade_decided_ = false;
  cut_fading_ = false;
  scan_stop_sample_ = UINT64_MAX;
  Start(song);
}

void SongRenderer::SetMutedChannels(uint16_t mask) {
  muted_ = mask;
  chip_.SetMutedChannels(mask);
}

void SongRenderer::SetChannelMeters(bool on) {
  meters_ = on;
  chip_.SetChannelMeters(on);
}

}  // namespace opl2
