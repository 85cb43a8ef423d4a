#include "jukebox/playback_core.h"

#include <algorithm>
#include <cmath>

namespace opl2::jukebox {
namespace {

uint64_t PositionOf(const opl2_song* stream) {
  return static_cast<uint64_t>(std::llround(opl2_position(stream) * OPL2_NATIVE_RATE));
}

}  // namespace

void PlaybackCore::SetVolume(double db) {
  const double gain = std::pow(10.0, db / 20.0);
  gain_q16_.store(static_cast<int32_t>(std::lround(gain * 65536.0)), std::memory_order_release);
}

void PlaybackCore::Read(PlaybackState* state) {
  published_.Read(state);
  reads_.fetch_add(1, std::memory_order_acq_rel);
}

void PlaybackCore::TakeHandovers() {
  Handover next;
  while (incoming_.TryPop(&next)) {
    if (next.keep_position && current_.stream != nullptr) {
      if (opl2_seek(next.stream, opl2_position(current_.stream)) != 0) {
        opl2_seek(next.stream, opl2_duration(next.stream));
      }
    }
    opl2_set_meters(next.stream, 1);
    for (int c = 0; c < OPL2_CHANNELS; ++c) {
      opl2_mute_channel(next.stream, c, (muted_ >> c) & 1);
    }
    if (current_.stream != nullptr) {
      opl2_set_meters(current_.stream, 0);
      // The preparer takes every stream back before it hands over the next,
      // so there is always room here (16 slots for at most 9 streams).
      retired_.TryPush(current_);
    }
    current_ = next;
    ended_ = false;
    peaks_.fill(0);
  }
}

int PlaybackCore::ReadSong(int16_t* out, int count, bool pausing) {
  // While fading into a pause only the fade's samples are read, so the song
  // resumes exactly where its sound stopped.
  const int want = pausing ? std::min(count, ramp_) : count;
  const int n = static_cast<int>(opl2_read_s16(current_.stream, out, static_cast<size_t>(want)));
  if (n < want) ended_ = true;
  for (int i = 0; i < n && (pausing || ramp_ < kRampSamples); ++i) {
    ramp_ += pausing ? -1 : 1;
    out[i] = static_cast<int16_t>(out[i] * ramp_ / kRampSamples);
  }
  return n;
}

void PlaybackCore::Produce(int16_t* out, int count) {
  TakeHandovers();
  const bool pausing = pause_wanted_.load(std::memory_order_acquire);
  const uint16_t mask = mute_wanted_.load(std::memory_order_acquire);
  if (mask != muted_ && current_.stream != nullptr) {
    for (int c = 0; c < OPL2_CHANNELS; ++c) {
      if (((mask ^ muted_) >> c) & 1) opl2_mute_channel(current_.stream, c, (mask >> c) & 1);
    }
  }
  muted_ = mask;

  int done = 0;
  while (done < count && current_.stream != nullptr && !ended_ && !(pausing && ramp_ == 0)) {
    const int n = ReadSong(out + done, count - done, pausing);
    done += n;
  }
  std::fill(out + done, out + count, int16_t{0});

  const int32_t gain = gain_q16_.load(std::memory_order_acquire);
  if (gain != 65536) {
    for (int i = 0; i < done; ++i) {
      const int64_t v = (static_cast<int64_t>(out[i]) * gain) >> 16;
      out[i] = static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
    }
  }
  samples_out_ += static_cast<uint64_t>(count);
  Publish();
}

void PlaybackCore::Publish() {
  PlaybackState& s = published_.write_slot();
  s.song_id = current_.song_id;
  s.seek_id = current_.seek_id;
  s.has_stream = current_.stream != nullptr;
  s.paused = pause_wanted_.load(std::memory_order_relaxed) && ramp_ == 0;
  s.ended = ended_;
  s.muted = muted_;
  s.samples_out = samples_out_;
  const uint32_t reads = reads_.load(std::memory_order_acquire);
  if (reads != reads_seen_) {
    reads_seen_ = reads;
    peaks_.fill(0);
  }
  if (current_.stream != nullptr) {
    s.position = PositionOf(current_.stream);
    opl2_channel_views(current_.stream, s.channels.data());
    for (int c = 0; c < OPL2_CHANNELS; ++c) {
      peaks_[c] = std::max(peaks_[c], s.channels[c].level);
      s.channels[c].level = peaks_[c];
    }
  } else {
    s.position = 0;
    s.channels = {};
  }
  position_.store(s.position, std::memory_order_release);
  published_.Publish();
}

Handover PlaybackCore::Release() {
  TakeHandovers();
  const Handover last = current_;
  current_ = Handover{};
  return last;
}

}  // namespace opl2::jukebox
