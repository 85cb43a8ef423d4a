// The player's state on its main thread: the list and the song in it, what
// the listener has asked for (pause, mutes, solo, volume, loop mode), and
// the commands that carry it to the audio thread (directly) and to the
// stream preparer (seeks, songs, loop mode). It never touches a stream
// itself, so it never waits on the sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jukebox/play_keys.h"
#include "jukebox/playback_core.h"
#include "jukebox/screen_view.h"
#include "jukebox/stream_preparer.h"

namespace opl2::jukebox {

struct PlaySettings {
  int loops = 2;  // -1: for ever
  double fade_seconds = 8;
  double volume_db = 0;
  bool repeat = false;  // the list for ever
};

inline constexpr int kMinVolumeDb = -40;
inline constexpr int kMaxVolumeDb = 12;
// A song that neither stops nor loops back is cut after an hour, unless
// loops are set to for ever.
inline constexpr double kLongestSongSeconds = 3600;

class PlaySession {
 public:
  PlaySession(std::vector<std::string> paths, const PlaySettings& settings);
  PlaySession(const PlaySession&) = delete;
  PlaySession& operator=(const PlaySession&) = delete;

  // What the sound device pulls from.
  PlaybackCore& core() { return core_; }

  // Starts the first song.
  void Begin();
  // A key press (a key code of the project's key reader): acts on it and
  // returns what it asked for, so the caller handles quit, suspend and redraw.
  KeyCommand PressKey(int32_t code);
  void Apply(const KeyCommand& key);
  // Follows the sound: songs that end, songs that fail to open. Call a few
  // times a second at least.
  void Update();

  bool finished() const { return finished_; }
  // 0 once every song of the list has had its turn, 1 when none could play.
  int exit_status() const { return songs_played_ > 0 || paths_.empty() ? 0 : 1; }

  // One-line notes (files skipped) and song lines ("name  m:ss", printed
  // when a song's length is known) since the last call.
  std::vector<std::string> TakeNotes();
  std::vector<std::string> TakeSongLines();

  // The screen's model as of the last Update.
  const ScreenModel& model();
  // The message row's text, set by the caller (shown on the screen).
  void set_message(std::string text) { message_ = std::move(text); }
  bool help() const { return help_; }
  bool paused() const { return paused_; }
  // A seek asked for and not yet heard.
  bool seeking() const { return seek_pending_; }
  const std::string& current_path() const;
  int index() const { return index_; }

 private:
  void StartAt(int index);
  void Advance(int step);
  void Seek(double seconds_delta, bool absolute);
  void ApplyMutes();
  opl2_settings SettingsNow() const;
  bool PlayingNow() const { return state_.song_id == song_id_ && state_.has_stream; }
  void EmitSongLine(uint64_t samples);

  std::vector<std::string> paths_;
  PlaySettings settings_;
  PlaybackCore core_;
  StreamPreparer preparer_;
  KeyMap keys_;

  int index_ = 0;
  int step_ = 1;  // the way through the list: 1 or -1 (after `p`)
  uint32_t song_id_ = 0;
  uint32_t seek_id_ = 0;
  bool seek_pending_ = false;
  uint64_t seek_target_ = 0;
  int failures_in_a_row_ = 0;
  int songs_played_ = 0;
  bool finished_ = false;
  bool line_emitted_ = false;

  bool paused_ = false;
  uint16_t mute_mask_ = 0;
  int solo_ = -1;
  int volume_db_ = 0;
  bool loop_forever_ = false;
  bool help_ = false;

  PlaybackState state_;
  uint32_t facts_version_ = 0;
  SongFacts facts_;
  ScreenModel model_;
  std::array<int, 9> shown_levels_{};
  std::string message_;
  std::vector<std::string> notes_;
  std::vector<std::string> song_lines_;
};

}  // namespace opl2::jukebox
