#include "jukebox/stream_preparer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "render/song_stream.h"

namespace opl2::jukebox {
namespace {

// Song rendered ahead on the spare per slice: about 4 ms of work.
constexpr uint64_t kWarmSliceSamples = 2 * 49'716;

double SecondsOf(uint64_t sample) {
  return static_cast<double>(sample) / OPL2_NATIVE_RATE;
}
uint64_t SamplesOf(double seconds) {
  return static_cast<uint64_t>(std::llround(seconds * OPL2_NATIVE_RATE));
}

RenderOptions OptionsOf(const opl2_settings& s) {
  RenderOptions options;
  options.loops = s.loops;
  options.fade_seconds = s.fade_seconds;
  options.max_seconds = s.max_seconds;
  return options;
}

}  // namespace

StreamPreparer::StreamPreparer(PlaybackCore* core) : core_(core) {
  thread_ = std::thread([this] { Run(); });
}

StreamPreparer::~StreamPreparer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
  for (Owned& o : owned_) Close(&o);
}

void StreamPreparer::Start(uint32_t song_id, std::vector<uint8_t> bytes,
                           const opl2_settings& settings) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    start_pending_ = true;
    start_id_ = song_id;
    start_bytes_ = std::move(bytes);
    start_settings_ = settings;
    seek_pending_ = false;
    settle_pending_ = false;
  }
  wake_.notify_one();
}

void StreamPreparer::Seek(uint32_t song_id, uint32_t seek_id, uint64_t target) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    seek_pending_ = true;
    seek_song_ = song_id;
    seek_id_ = seek_id;
    seek_target_ = target;
  }
  wake_.notify_one();
}

void StreamPreparer::Resettle(uint32_t song_id, uint32_t seek_id, const opl2_settings& settings) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    settle_pending_ = true;
    settle_song_ = song_id;
    settle_seek_id_ = seek_id;
    settle_settings_ = settings;
  }
  wake_.notify_one();
}

SongFacts StreamPreparer::Facts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return facts_;
}

void StreamPreparer::UpdateFacts(const SongFacts& facts) {
  std::lock_guard<std::mutex> lock(mutex_);
  facts_ = facts;
  facts_version_.fetch_add(1, std::memory_order_acq_rel);
}

void StreamPreparer::Run() {
  bool warming = false;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(warming ? 0 : 20),
                   [this] { return stop_ || start_pending_ || seek_pending_ || settle_pending_; });
    if (stop_) return;
    const bool start = std::exchange(start_pending_, false);
    const bool settle = std::exchange(settle_pending_, false);
    const bool seek = std::exchange(seek_pending_, false);
    std::vector<uint8_t> bytes;
    if (start) bytes = std::move(start_bytes_);
    const uint32_t start_id = start_id_, seek_song = seek_song_, seek_id = seek_id_;
    const uint32_t settle_song = settle_song_, settle_seek_id = settle_seek_id_;
    const uint64_t seek_target = seek_target_;
    const opl2_settings start_settings = start_settings_, settle_settings = settle_settings_;
    lock.unlock();

    CollectRetired();
    if (start) DoStart(start_id, std::move(bytes), start_settings);
    if (settle) DoResettle(settle_song, settle_seek_id, settle_settings);
    if (seek) DoSeek(seek_song, seek_id, seek_target);
    warming = !start && !settle && !seek && WarmStep();
  }
}

StreamPreparer::Owned* StreamPreparer::Open(const opl2_settings& settings) {
  Owned* slot = nullptr;
  for (Owned& o : owned_) {
    if (o.stream == nullptr) {
      slot = &o;
      break;
    }
  }
  if (slot == nullptr) return nullptr;  // never more than a few streams live
  char error[200] = "";
  opl2_song* stream = opl2_open(bytes_.data(), bytes_.size(), &settings, error, sizeof error);
  if (stream == nullptr) {
    known_.error = error;
    return nullptr;
  }
  *slot = Owned{stream, song_id_, settings_id_, 0};
  return slot;
}

void StreamPreparer::Close(Owned* owned) {
  if (owned == nullptr || owned->stream == nullptr) return;
  if (spare_ == owned) spare_ = nullptr;
  opl2_close(owned->stream);
  *owned = Owned{};
}

StreamPreparer::Owned* StreamPreparer::Find(const opl2_song* stream) {
  for (Owned& o : owned_) {
    if (o.stream == stream) return &o;
  }
  return nullptr;
}

void StreamPreparer::Hand(Owned* owned, uint32_t seek_id, bool keep_position) {
  const Handover handover{owned->stream, owned->song_id, seek_id, keep_position};
  for (int tries = 0; tries < 200; ++tries) {
    if (core_->Hand(handover)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CollectRetired();
  }
  Close(owned);  // the device has stopped taking buffers
}

void StreamPreparer::CollectRetired() {
  Handover retired;
  while (core_->TakeBack(&retired)) {
    Owned* o = Find(retired.stream);
    if (o == nullptr) continue;
    o->frontier = std::max(o->frontier, SamplesOf(opl2_position(o->stream)));
    if (o->song_id != song_id_ || o->settings_id != settings_id_) {
      Close(o);
    } else if (spare_ == nullptr) {
      spare_ = o;
    } else if (o->frontier > spare_->frontier) {
      Close(spare_);
      spare_ = o;
    } else {
      Close(o);
    }
  }
}

bool StreamPreparer::HaveSpare(int wait_ms) {
  CollectRetired();
  for (int waited = 0; spare_ == nullptr && waited < wait_ms; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CollectRetired();
  }
  if (spare_ == nullptr) spare_ = Open(settings_);
  return spare_ != nullptr;
}

void StreamPreparer::Scan() {
  const SongScan scan = ScanSong(bytes_, OptionsOf(settings_), SongStream::kSearchHorizon);
  known_.passes = scan.passes;
  known_.loops = settings_.loops;
  if (scan.end.known) {
    known_.length = scan.end.end_sample;
    known_.length_exact = true;
  } else if (scan.end.stops) {
    known_.length = scan.end.stop_sample;
    known_.length_exact = false;
  } else {
    known_.length = kEndless;
    known_.length_exact = true;
  }
}

void StreamPreparer::DoStart(uint32_t song_id, std::vector<uint8_t> bytes,
                             const opl2_settings& settings) {
  song_id_ = song_id;
  ++settings_id_;
  bytes_ = std::move(bytes);
  settings_ = settings;
  Close(spare_);
  known_ = SongFacts{};
  known_.song_id = song_id;
  known_.status = SongFacts::Status::kOpening;
  UpdateFacts(known_);
  Owned* playing = Open(settings_);
  if (playing == nullptr) {
    known_.status = SongFacts::Status::kFailed;
    UpdateFacts(known_);
    return;
  }
  Hand(playing, 0, false);
  Scan();
  known_.status = SongFacts::Status::kPlaying;
  UpdateFacts(known_);
  spare_ = Open(settings_);
}

void StreamPreparer::DoSeek(uint32_t song_id, uint32_t seek_id, uint64_t target) {
  if (song_id != song_id_ || known_.status != SongFacts::Status::kPlaying) return;
  if (!HaveSpare(100)) return;
  if (known_.length_exact && known_.length != kEndless) target = std::min(target, known_.length);
  if (opl2_seek(spare_->stream, SecondsOf(target)) != 0) {
    // Past the end of a song whose end was not found yet: find it, go there.
    known_.length = SamplesOf(opl2_duration(spare_->stream));
    known_.length_exact = true;
    UpdateFacts(known_);
    target = known_.length;
    opl2_seek(spare_->stream, SecondsOf(target));
  }
  spare_->frontier = std::max(spare_->frontier, target);
  Owned* ready = spare_;
  spare_ = nullptr;
  Hand(ready, seek_id, false);
}

void StreamPreparer::DoResettle(uint32_t song_id, uint32_t seek_id, const opl2_settings& settings) {
  if (song_id != song_id_ || known_.status != SongFacts::Status::kPlaying) return;
  settings_ = settings;
  ++settings_id_;
  Close(spare_);
  Scan();
  UpdateFacts(known_);
  Owned* playing = Open(settings_);
  if (playing == nullptr) return;
  const uint64_t here = core_->position();
  bool keep_position = true;
  uint64_t near = here;
  if (known_.length_exact && known_.length != kEndless) {
    const uint64_t fade = SamplesOf(settings.fade_seconds);
    const uint64_t fade_start = known_.length > fade ? known_.length - fade : 0;
    if (here >= fade_start) {
      near = fade_start;
      keep_position = false;  // already past the new end: fade out from here on
    }
  }
  // Close to where the audio thread will align it, so aligning costs little.
  opl2_seek(playing->stream, SecondsOf(near));
  playing->frontier = near;
  Hand(playing, seek_id, keep_position);
  spare_ = Open(settings_);
}

bool StreamPreparer::WarmStep() {
  CollectRetired();
  if (spare_ == nullptr || known_.status != SongFacts::Status::kPlaying) return false;
  uint64_t goal;
  if (!known_.length_exact) {
    goal = spare_->frontier + kWarmSliceSamples;  // on to the end, to learn the length
  } else {
    goal = core_->position() + kWarmAheadSamples;
    if (known_.length != kEndless) goal = std::min(goal, known_.length);
  }
  if (goal <= spare_->frontier) return false;
  goal = std::min(goal, spare_->frontier + kWarmSliceSamples);
  if (opl2_seek(spare_->stream, SecondsOf(goal)) == 0) {
    spare_->frontier = goal;
    return true;
  }
  // The song ended before `goal`: the library knows its length now.
  known_.length = SamplesOf(opl2_duration(spare_->stream));
  known_.length_exact = true;
  spare_->frontier = known_.length;
  UpdateFacts(known_);
  return true;
}

}  // namespace opl2::jukebox
