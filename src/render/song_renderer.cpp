#include "render/song_renderer.h"

#include <algorithm>
#include <cmath>

#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"

namespace opl2 {
namespace {

uint64_t SecondsToSamples(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<uint64_t>(std::llround(seconds * kChipSampleRate));
}

}  // namespace

SongRenderer::SongRenderer(const RenderOptions& options)
    : options_(options), engine_(std::make_unique<Engine>()), port_(&timeline_, this) {
  engine_->port = &port_;
  engine_->timer = &timer_;
  max_samples_ = SecondsToSamples(options_.max_seconds);
  fade_length_ = SecondsToSamples(options_.fade_seconds);
  cut_fade_length_ = std::min(fade_length_, max_samples_ / 2);
  cut_fade_start_ = max_samples_ - cut_fade_length_;
}

SongRenderer::~SongRenderer() = default;

LoadResult SongRenderer::Start(const Song* song) {
  chip_.Reset();
  timeline_.BeginTick(0);
  const LoadResult result = StartSong(*engine_, song);
  started_ = true;
  next_tick_sample_ = NextTickSample();
  return result;
}

LoadResult SongRenderer::StartFile(const char* song_file_name) {
  own_song_ = std::make_unique<Song>();
  const LoadResult result = LoadSongFile(song_file_name, *own_song_);
  if (result == LoadResult::kCannotOpen) return result;
  return Start(result == LoadResult::kLoaded ? own_song_.get() : nullptr);
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
  if (pending_head_ == pending_.size()) {
    pending_.clear();
    pending_head_ = 0;
  }
  pending_.push_back(write);
}

bool SongRenderer::AllChannelsStopped() const {
  for (const ChannelState& ch : engine_->channels) {
    if (ch.active == 1 || ch.slide_active == 1) return false;
  }
  return true;
}

bool SongRenderer::LoopsDone() const {
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

size_t SongRenderer::Render(int16_t* out, size_t max) {
  if (!started_) return 0;
  size_t done = 0;
  while (done < max) {
    const uint64_t limit = std::min(max_samples_, end_sample_);
    if (position_ >= limit) break;
    if (position_ >= next_tick_sample_) {
      // The tick runs once every sample before its first write's has been made.
      if (!timer_.Advance()) {
        next_tick_sample_ = UINT64_MAX;  // never armed: no tick will come
      } else {
        timeline_.BeginTick(timer_.elapsed());
        tick_clock_ = timeline_.cursor();
        if (observer_ != nullptr) observer_->BeforeTick(*engine_, tick_clock_);
        TimerTick(*engine_);
        next_tick_sample_ = NextTickSample();
        CheckEnd();
      }
      continue;
    }
    while (pending_head_ < pending_.size() && pending_[pending_head_].sample <= position_) {
      chip_.Write(pending_[pending_head_].reg, pending_[pending_head_].value);
      ++pending_head_;
    }
    if (!cut_fade_decided_ && position_ >= cut_fade_start_) {
      // The cap will end a render whose own end is not known by now.
      cut_fade_decided_ = true;
      cut_fading_ = cut_fade_length_ > 0 && end_sample_ > max_samples_;
    }
    uint64_t stop = std::min<uint64_t>({limit, next_tick_sample_, position_ + (max - done)});
    if (!cut_fade_decided_) stop = std::min(stop, cut_fade_start_);
    if (pending_head_ < pending_.size()) stop = std::min(stop, pending_[pending_head_].sample);
    const size_t n = static_cast<size_t>(stop - position_);
    chip_.Generate(out + done, n);
    ApplyFades(out + done, n);
    position_ += n;
    done += n;
    if (end_sample_ == UINT64_MAX && AllChannelsStopped()) CheckEnd();
  }
  return done;
}

}  // namespace opl2
