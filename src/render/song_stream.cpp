#include "render/song_stream.h"

#include <algorithm>

namespace opl2 {
namespace {

// Song time between saved states: a seek renders at most this much.
constexpr uint64_t kSnapshotInterval = kChipSampleRateHz;
// Saved states kept at most; past that, every other one is dropped and the
// interval doubles.
constexpr size_t kMaxSnapshots = 1024;
// Room for the release after the last channel stops, before thinning.
constexpr size_t kReleaseSnapshots = 16;

}  // namespace

SongStream::SongStream(std::unique_ptr<Song> song, const RenderOptions& options)
    : song_(std::move(song)), renderer_(options), interval_(kSnapshotInterval) {}

SongStream::~SongStream() = default;

std::unique_ptr<SongStream> SongStream::Open(std::span<const uint8_t> bytes,
                                             const RenderOptions& options, std::string* error) {
  if (bytes.empty()) {
    *error = "not a song: the data is empty";
    return nullptr;
  }
  auto song = std::make_unique<Song>();
  if (LoadSong(bytes, *song) != LoadResult::kLoaded) {
    *error = "not a song: its format id is " + std::to_string(bytes[0]) + ", not 2";
    return nullptr;
  }
  std::unique_ptr<SongStream> stream(new SongStream(std::move(song), options));
  stream->Start(options, true);
  return stream;
}

std::unique_ptr<SongStream> SongStream::OpenAnyBytes(std::span<const uint8_t> bytes,
                                                     const RenderOptions& options) {
  auto song = std::make_unique<Song>();
  const bool is_song = LoadSong(bytes, *song) == LoadResult::kLoaded;
  std::unique_ptr<SongStream> stream(new SongStream(std::move(song), options));
  stream->Start(options, is_song);
  return stream;
}

void SongStream::Start(const RenderOptions& options, bool is_song) {
  const Song* song = is_song ? song_.get() : nullptr;
  // The ticks alone, without the chip, tell how long most songs play; that
  // sizes the store of saved states.
  SongRenderer scout(options);
  scout.Start(song);
  const EndScan scan = scout.ScanWithoutChip(kSearchHorizon);
  uint64_t span = kSearchHorizon;
  if (scan.known) {
    length_ = scan.end_sample;
    length_known_ = true;
    span = scan.end_sample;
  } else if (scan.stops) {
    span = scan.stop_sample + kReleaseSnapshots * kSnapshotInterval;
  } else {
    // Still playing after an hour, with no cap: taken as endless.
    length_ = kNeverEnds;
    length_known_ = true;
  }
  const size_t wanted = static_cast<size_t>(span / kSnapshotInterval) + 2;
  snapshots_.resize(std::min(wanted, kMaxSnapshots));
  renderer_.set_tick_listener(this);
  renderer_.Start(song);
}

void SongStream::AtTickBoundary(const SongRenderer& renderer) {
  const uint64_t at = renderer.samples_rendered();
  if (at < next_snapshot_) return;
  if (snapshot_count_ == snapshots_.size()) {
    // Full: keep every other state, twice as far apart.
    size_t kept = 0;
    for (size_t i = 0; i < snapshot_count_; i += 2) snapshots_[kept++] = snapshots_[i];
    snapshot_count_ = kept;
    interval_ *= 2;
    next_snapshot_ = snapshots_[kept - 1].position + interval_;
    if (at < next_snapshot_) return;
  }
  if (!renderer.Save(&snapshots_[snapshot_count_])) return;  // loops too deep: the next tick
  ++snapshot_count_;
  next_snapshot_ = at + interval_;
}

size_t SongStream::Read(int16_t* out, size_t frames) {
  size_t done = 0;
  while (done < frames) {
    const size_t n = renderer_.Render(out + done, frames - done);
    if (n == 0) break;
    done += n;
  }
  if (done < frames && !length_known_) {
    length_ = renderer_.samples_rendered();
    length_known_ = true;
  }
  return done;
}

void SongStream::SkipTo(uint64_t target) {
  while (renderer_.samples_rendered() < target) {
    const uint64_t left = target - renderer_.samples_rendered();
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, scratch_.size()));
    if (renderer_.Render(scratch_.data(), want) == 0) {
      length_ = renderer_.samples_rendered();
      length_known_ = true;
      return;
    }
  }
}

bool SongStream::Seek(uint64_t sample) {
  if (length_known_ && sample > length_) return false;
  const uint64_t here = renderer_.samples_rendered();
  // The latest saved state at or before the target, unless the read
  // already stands between it and the target.
  size_t lo = 0;
  size_t hi = snapshot_count_;
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (snapshots_[mid].position <= sample) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  const uint64_t from = lo > 0 ? snapshots_[lo - 1].position : 0;
  if (here > sample || here < from) {
    if (lo > 0) {
      renderer_.Restore(snapshots_[lo - 1]);
    } else {
      renderer_.Rewind();
    }
  }
  SkipTo(sample);
  if (renderer_.samples_rendered() == sample) return true;
  Seek(here);  // the song ended first: back to where the read stood
  return false;
}

uint64_t SongStream::Length() {
  if (length_known_) return length_;
  // Render ahead to the end (saving states on the way), then come back.
  const uint64_t here = renderer_.samples_rendered();
  if (snapshot_count_ > 0 && snapshots_[snapshot_count_ - 1].position > here) {
    renderer_.Restore(snapshots_[snapshot_count_ - 1]);
  }
  const uint64_t horizon = std::min(renderer_.max_samples(), kSearchHorizon);
  SkipTo(horizon);
  if (!length_known_) {
    length_ = renderer_.end_sample() == renderer_.samples_rendered() ? renderer_.samples_rendered()
                                                                     : kNeverEnds;
    length_known_ = true;
  }
  Seek(here);
  return length_;
}

void SongStream::SetMutedChannels(uint16_t mask) {
  muted_ = mask;
  renderer_.SetMutedChannels(mask);
}

void SongStream::SetMeters(bool on) {
  renderer_.SetChannelMeters(on);
}

std::array<ChannelView, kChannelCount> SongStream::ChannelViews() {
  std::array<int32_t, kChannelCount> peaks{};
  renderer_.TakeChannelPeaks(peaks);
  const std::array<uint8_t, 256>& regs = renderer_.applied_registers();
  std::array<ChannelView, kChannelCount> views;
  for (int c = 0; c < kChannelCount; ++c) {
    const ChannelState& ch = renderer_.engine().channels[c];
    const uint8_t b0 = regs[0xB0 + c];
    ChannelView& v = views[c];
    v.key_on = (b0 & 0x20) != 0;
    v.block = (b0 >> 2) & 7;
    v.fnum = (b0 & 3) << 8 | regs[0xA0 + c];
    v.instrument = ch.instrument;
    v.volume = ch.volume;
    v.muted = (muted_ >> c & 1) != 0;
    v.level = std::min<int32_t>(peaks[c], 32'767);
  }
  return views;
}

}  // namespace opl2
