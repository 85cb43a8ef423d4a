// The audio thread's side of the player: it reads the song playing from the
// library at the chip's rate, into the device's buffers, and nothing else.
//
// Everything that may take long (opening a song, a seek that renders ahead)
// is done elsewhere on a stream of the library's own, which is then handed
// over here whole, in sorted position; the stream it replaces goes back the
// same way. Pause, mute and volume are plain values read at the start of
// each buffer, so a key is heard one buffer later. The audio thread never
// locks, waits or allocates. What it plays is published after each buffer
// for the screen (position, channels, meters).
#pragma once

#include <opl2play/opl2play.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "jukebox/latest_value.h"
#include "jukebox/spsc_ring.h"

namespace opl2::jukebox {

// A stream ready to play, handed to the audio thread.
struct Handover {
  opl2_song* stream = nullptr;
  uint32_t song_id = 0;  // which song of the list (a new one for each start)
  uint32_t seek_id = 0;  // the seek it completes (0: none)
  // Go on at the outgoing stream's position (the same song read with other
  // settings) instead of where the stream stands.
  bool keep_position = false;
};

// What the device is playing, as of its last buffer.
struct PlaybackState {
  uint32_t song_id = 0;
  uint32_t seek_id = 0;
  bool has_stream = false;
  uint64_t position = 0;  // samples of the song played
  bool paused = false;    // paused, and the fade into the pause is over
  bool ended = false;     // the song has given its last sample
  uint16_t muted = 0;
  uint64_t samples_out = 0;  // samples handed to the device in all
  // Channels as of the position; `level` is the largest since the reader's
  // previous look.
  std::array<opl2_channel_view, OPL2_CHANNELS> channels{};
};

class PlaybackCore {
 public:
  // Pause and resume fade over this many samples (about 5 ms), so neither
  // clicks; what is faded is the song's own sound, so nothing is skipped.
  static constexpr int kRampSamples = 256;

  PlaybackCore() = default;
  PlaybackCore(const PlaybackCore&) = delete;
  PlaybackCore& operator=(const PlaybackCore&) = delete;

  // ---- any thread but the audio thread (one at a time) --------------------
  void SetPaused(bool paused) { pause_wanted_.store(paused, std::memory_order_release); }
  void SetMuted(uint16_t mask) { mute_wanted_.store(mask, std::memory_order_release); }
  // Output gain in dB; 0 leaves the samples untouched.
  void SetVolume(double db);
  // The newest state. Starts a new interval for the meters.
  void Read(PlaybackState* state);
  // Position of the last buffer (for the stream preparer).
  uint64_t position() const { return position_.load(std::memory_order_acquire); }

  // ---- the stream preparer ------------------------------------------------
  bool Hand(const Handover& handover) { return incoming_.TryPush(handover); }
  // A stream the audio thread has stopped using.
  bool TakeBack(Handover* retired) { return retired_.TryPop(retired); }

  // ---- the audio thread ---------------------------------------------------
  void Produce(int16_t* out, int count);

  // Once no audio thread runs any more: the stream in use, to be closed by
  // the caller; null when none.
  Handover Release();

 private:
  void TakeHandovers();
  int ReadSong(int16_t* out, int count, bool pausing);
  void Publish();

  SpscRing<Handover, 8> incoming_;
  SpscRing<Handover, 16> retired_;
  LatestValue<PlaybackState> published_;
  std::atomic<bool> pause_wanted_{false};
  std::atomic<uint16_t> mute_wanted_{0};
  std::atomic<int32_t> gain_q16_{65536};  // gain in 1/65536
  std::atomic<uint64_t> position_{0};
  std::atomic<uint32_t> reads_{0};

  // Audio thread only.
  Handover current_{};
  uint16_t muted_ = 0;
  int ramp_ = kRampSamples;  // gain of the pause fade, 0..kRampSamples
  bool ended_ = false;
  uint64_t samples_out_ = 0;
  uint32_t reads_seen_ = 0;
  std::array<int, OPL2_CHANNELS> peaks_{};
};

}  // namespace opl2::jukebox
