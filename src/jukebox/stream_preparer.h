// The player's second thread: every piece of work on the library's streams
// that may take longer than a buffer happens here, never on the audio
// thread and never on the thread that reads keys and draws the screen.
//
// Each song is opened twice: one stream plays (the audio thread holds it),
// the other is the spare. A seek is made exactly on the spare, which is then
// handed over whole; the stream it replaces comes back and is the next spare.
// Between jobs the spare is rendered ahead (a few seconds of song at a
// time), which saves the library's states along the way, so a later seek to
// any time up to some minutes past the playing position only renders from
// the nearest saved state: the sound keeps playing meanwhile and the seek
// lands within a buffer or two. The same handover starts songs and switches
// between a set number of loops and looping for ever.
#pragma once

#include <opl2play/opl2play.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jukebox/playback_core.h"
#include "jukebox/song_scan.h"

namespace opl2::jukebox {

// What is known of the song being started or played.
struct SongFacts {
  enum class Status { kNone, kOpening, kPlaying, kFailed };
  uint32_t song_id = 0;
  Status status = Status::kNone;
  std::string error;  // kFailed: why the bytes are not a song
  // Samples the song plays in all: exact once `length_exact`; before that
  // (a song whose channels all stop, until it has been rendered to its end)
  // where the channels stop. kEndless: plays for ever.
  uint64_t length = 0;
  bool length_exact = false;
  LoopPasses passes;
  int loops = 0;
};

inline constexpr uint64_t kEndless = UINT64_MAX;

class StreamPreparer {
 public:
  // How far past the playing position the spare is rendered ahead.
  static constexpr uint64_t kWarmAheadSamples = 300ull * 49'716;

  explicit StreamPreparer(PlaybackCore* core);
  // Stops the thread and closes every stream. The audio thread must no
  // longer run.
  ~StreamPreparer();
  StreamPreparer(const StreamPreparer&) = delete;
  StreamPreparer& operator=(const StreamPreparer&) = delete;

  // Opens `bytes` and hands it to the audio thread as song `song_id`
  // (replaces any job not yet started). `settings.sample_rate` must be 0.
  void Start(uint32_t song_id, std::vector<uint8_t> bytes, const opl2_settings& settings);
  // Song `song_id` to `target` samples (past the end: to its end). Only the
  // latest request is kept.
  void Seek(uint32_t song_id, uint32_t seek_id, uint64_t target);
  // Song `song_id` with other settings, going on at the same position (at
  // the start of the fade when that position lies past the new fade).
  void Resettle(uint32_t song_id, uint32_t seek_id, const opl2_settings& settings);

  // Changes whenever the facts do.
  uint32_t facts_version() const { return facts_version_.load(std::memory_order_acquire); }
  SongFacts Facts() const;

 private:
  struct Owned {
    opl2_song* stream = nullptr;
    uint32_t song_id = 0;
    uint32_t settings_id = 0;  // streams of older settings are closed on return
    uint64_t frontier = 0;     // rendered (and saved) up to here
  };
  static constexpr size_t kMaxOwned = 16;

  void Run();
  void DoStart(uint32_t song_id, std::vector<uint8_t> bytes, const opl2_settings& settings);
  void DoSeek(uint32_t song_id, uint32_t seek_id, uint64_t target);
  void DoResettle(uint32_t song_id, uint32_t seek_id, const opl2_settings& settings);
  // One slice of rendering ahead on the spare; false when there is nothing to do.
  bool WarmStep();
  void CollectRetired();
  bool HaveSpare(int wait_ms);
  Owned* Open(const opl2_settings& settings);
  void Close(Owned* owned);
  void Hand(Owned* owned, uint32_t seek_id, bool keep_position);
  Owned* Find(const opl2_song* stream);
  void UpdateFacts(const SongFacts& facts);
  void Scan();

  PlaybackCore* core_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool start_pending_ = false;
  uint32_t start_id_ = 0;
  std::vector<uint8_t> start_bytes_;
  opl2_settings start_settings_{};
  bool seek_pending_ = false;
  uint32_t seek_song_ = 0, seek_id_ = 0;
  uint64_t seek_target_ = 0;
  bool settle_pending_ = false;
  uint32_t settle_song_ = 0, settle_seek_id_ = 0;
  opl2_settings settle_settings_{};
  SongFacts facts_;
  std::atomic<uint32_t> facts_version_{0};

  // The thread's own.
  std::array<Owned, kMaxOwned> owned_{};
  Owned* spare_ = nullptr;
  uint32_t song_id_ = 0;
  uint32_t settings_id_ = 0;
  std::vector<uint8_t> bytes_;
  opl2_settings settings_{};
  SongFacts known_;  // the thread's copy of the facts
  std::thread thread_;
};

}  // namespace opl2::jukebox
