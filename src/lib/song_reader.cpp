#include "lib/song_reader.h"

#include <algorithm>
#include <cmath>

namespace opl2 {
namespace {

// Native samples the converter runs in before the first sample kept after a
// seek: far more than its filter reaches back.
constexpr uint64_t kRunIn = 4096;
// Restart points tried after a seek, every kRestartStep native samples (a
// multiple of any decimation stage the converter may use).
constexpr uint64_t kRestartStep = 1;
constexpr uint64_t kRestartCandidates = 16'384;
// Silence through the converter when a song is opened.
constexpr uint64_t kWarmUp = 16 * 1024;

int16_t ToS16(float f) {
  const float scaled = std::nearbyint(f * 32768.0f);
  return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

std::unique_ptr<SongReader> SongReader::Open(std::span<const uint8_t> bytes, int sample_rate,
                                             const RenderOptions& options, std::string* error) {
  std::unique_ptr<SongReader> reader(new SongReader());
  reader->rate_ = sample_rate;
  if (sample_rate != 0 && !reader->converter_.Open(kChipSampleRate, sample_rate, error)) {
    return nullptr;
  }
  reader->stream_ = SongStream::Open(bytes, options, error);
  if (reader->stream_ == nullptr) return nullptr;
  if (sample_rate != 0) {
    // The converter's buffers grow over its first chunks: silence fills
    // them now, so that reading allocates nothing later.
    reader->zeros_left_ = kWarmUp;
    while (reader->zeros_left_ > 0) reader->Refill();
    reader->Restart(0);
  }
  return reader;
}

double SongReader::rate() const {
  return rate_ == 0 ? kChipSampleRate : rate_;
}

uint64_t SongReader::OutputFrames(uint64_t native) const {
  if (native == kNeverEnds) return kNeverEnds;
  if (rate_ == 0) return native;
  // native * rate / (3,579,545 / 72), rounded.
  const uint64_t num = native * kMasterClocksPerSample * static_cast<uint64_t>(rate_);
  return (num + kMasterClockHz / 2) / kMasterClockHz;
}

uint64_t SongReader::Length() {
  return OutputFrames(stream_->Length());
}

void SongReader::Refill() {
  // Always a whole chunk (silence, the song, silence after its end), so the
  // converter's own buffers keep the sizes they had after the first chunks.
  size_t filled = 0;
  while (filled < kChunk) {
    const size_t room = kChunk - filled;
    if (zeros_left_ > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(zeros_left_, room));
      std::fill_n(input_.data() + filled, n, 0.0f);
      zeros_left_ -= n;
      filled += n;
    } else if (!input_done_) {
      const size_t got = stream_->Read(native_.data(), room);
      for (size_t i = 0; i < got; ++i) input_[filled + i] = native_[i] / 32768.0f;
      filled += got;
      if (got < room) input_done_ = true;
    } else {
      std::fill_n(input_.data() + filled, room, 0.0f);
      filled = kChunk;
    }
  }
  // Frames made but never handed out are dropped with the chunk.
  next_frame_ += static_cast<int64_t>(ready_count_ - ready_head_);
  ready_head_ = 0;
  ready_count_ = 0;
  size_t taken = 0;
  while (taken < kChunk) {
    size_t used = 0;
    ready_count_ += converter_.Process(input_.data() + taken, kChunk - taken, &used,
                                       ready_.data() + ready_count_, ready_.size() - ready_count_);
    taken += used;
    if (used == 0) break;
  }
  fed_ += kChunk;
  made_ += ready_count_;
}

size_t SongReader::ReadConverted(float* out, size_t frames) {
  size_t done = 0;
  while (done < frames) {
    // Once the song's samples are all in, its length is known.
    const uint64_t length = input_done_ ? Length() : kNeverEnds;
    if (position_ >= length) break;
    if (ready_head_ == ready_count_) {
      Refill();
      continue;
    }
    // Frames from before the target (after a seek) are dropped.
    if (next_frame_ < static_cast<int64_t>(position_)) {
      const uint64_t drop = std::min<uint64_t>(static_cast<uint64_t>(position_ - next_frame_),
                                               ready_count_ - ready_head_);
      ready_head_ += drop;
      next_frame_ += static_cast<int64_t>(drop);
      continue;
    }
    const uint64_t left = std::min<uint64_t>(frames - done, length - position_);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, ready_count_ - ready_head_));
    std::copy_n(ready_.data() + ready_head_, n, out + done);
    ready_head_ += n;
    next_frame_ += static_cast<int64_t>(n);
    position_ += n;
    done += n;
  }
  return done;
}

void SongReader::Restart(uint64_t frame) {
  const uint64_t per_native = kMasterClocksPerSample * static_cast<uint64_t>(rate_);
  const int64_t modulus = static_cast<int64_t>(kMasterClockHz);
  // How far the converter's frame grid would lie from the song's, in
  // 1/3,579,545 of a frame, when the song's sample 0 sits `gap` native
  // samples after the converter's first input.
  auto misfit = [&](int64_t gap) {
    const int64_t r = static_cast<int64_t>(
        static_cast<uint64_t>(((gap % modulus) + modulus) % modulus) * per_native % kMasterClockHz);
    return std::min(r, modulus - r);
  };
  const uint64_t target = frame * kMasterClockHz / per_native;  // native sample at the target
  const int64_t fed = static_cast<int64_t>(fed_);
  uint64_t start = 0;  // native sample the song resumes from
  uint64_t zeros = 0;  // silence given before it
  int64_t best = INT64_MAX;
  if (target >= kRunIn + kRestartStep * kRestartCandidates) {
    uint64_t last = target - kRunIn;
    last -= (last + kRestartStep - fed_ % kRestartStep) % kRestartStep;  // same phase as fed_
    for (uint64_t i = 0; i < kRestartCandidates; ++i) {
      const uint64_t n = last - i * kRestartStep;
      const int64_t m = misfit(static_cast<int64_t>(n) - fed);
      if (m < best) {
        best = m;
        start = n;
      }
    }
  } else {
    // Near the start: silence runs the converter in, as before the song.
    for (uint64_t i = 0; i < kRestartCandidates; ++i) {
      const uint64_t z = kRunIn + i * kRestartStep;
      const int64_t m = misfit(-fed - static_cast<int64_t>(z));
      if (m < best) {
        best = m;
        zeros = z;
      }
    }
  }
  // The song's frame of the converter's next frame: the converter's frame j
  // lies at native time j / per-native of its own input.
  const int64_t gap = static_cast<int64_t>(start) - fed - static_cast<int64_t>(zeros);
  const int64_t scaled = gap * static_cast<int64_t>(per_native);
  const int64_t shift = (scaled >= 0 ? scaled + modulus / 2 : scaled - modulus / 2) / modulus;
  stream_->Seek(start);
  zeros_left_ = zeros;
  input_done_ = false;
  ready_head_ = 0;
  ready_count_ = 0;
  next_frame_ = static_cast<int64_t>(made_) + shift;
  position_ = frame;
}

size_t SongReader::ReadS16(int16_t* out, size_t frames) {
  if (rate_ == 0) {
    const size_t n = stream_->Read(out, frames);
    position_ += n;
    return n;
  }
  size_t done = 0;
  while (done < frames) {
    const size_t want = std::min(frames - done, discard_.size());
    const size_t n = ReadConverted(discard_.data(), want);
    for (size_t i = 0; i < n; ++i) out[done + i] = ToS16(discard_[i]);
    done += n;
    if (n < want) break;
  }
  return done;
}

size_t SongReader::ReadF32(float* out, size_t frames) {
  if (rate_ != 0) return ReadConverted(out, frames);
  size_t done = 0;
  while (done < frames) {
    const size_t want = std::min(frames - done, native_.size());
    const size_t n = stream_->Read(native_.data(), want);
    for (size_t i = 0; i < n; ++i) out[done + i] = native_[i] / 32768.0f;
    done += n;
    position_ += n;
    if (n < want) break;
  }
  return done;
}

bool SongReader::Seek(uint64_t frame) {
  if (rate_ == 0) {
    if (!stream_->Seek(frame)) return false;
    position_ = frame;
    return true;
  }
  if (frame > Length()) return false;
  Restart(frame);
  return true;
}

}  // namespace opl2
