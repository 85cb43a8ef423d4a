// How long a song plays: the engine is started on the file and ticked with
// a virtual Timer B whose periods are summed, so tempo changes count.
#pragma once

#include <cstdint>
#include <vector>

#include "song/song.h"
#include "song/song_loader.h"

namespace opl2::analysis {

struct TimingLimits {
  double max_seconds = 3600.0;  // of song time
  uint64_t max_ticks = 20'000'000;
};

struct ChannelTiming {
  bool started = false;  // active after loading
  bool played = false;   // read a note, rest or slide (a lone end mark plays nothing)
  bool stopped = false;
  uint64_t stop_tick = 0;
  bool looped = false;           // jumped back to its loop point at least once
  uint64_t loop_point_tick = 0;  // tick it first passed its loop point
  uint64_t first_jump_tick = 0;  // tick its end mark first jumped back
  bool held = false;             // waits on a length-0 row for ever
  uint64_t held_tick = 0;
};

struct TempoChange {
  uint64_t tick = 0;  // read in this tick, used from the next
  uint8_t value = 0;
};

struct SongTiming {
  LoadResult load = LoadResult::kNotASong;
  bool capped = false;  // the run hit a limit before the song's shape was known
  uint64_t ticks_run = 0;
  std::vector<uint64_t> cycles_at_tick;  // master-clock cycles from start to each tick, [0] = 0
  std::vector<ChannelTiming> channels;
  std::vector<TempoChange> tempo_changes;  // at most kMaxTempoChanges
  bool tempo_changes_cut = false;

  double Seconds(uint64_t tick) const;
};

inline constexpr size_t kMaxTempoChanges = 64;

// `song` null: bytes that are not a song.
SongTiming MeasureSong(const Song* song, const TimingLimits& limits = {});

}  // namespace opl2::analysis
