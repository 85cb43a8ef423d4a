// What can be read from a song file without playing it: its layout, and
// per track the events, instruments, loops and tempo changes.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <span>
#include <vector>

#include "analysis/song_layout.h"

namespace opl2::analysis {

struct TempoEvent {
  int offset = 0;  // in the file
  uint8_t value = 0;
};

struct TrackSummary {
  int events = 0;
  int unnamed_events = 0;  // shown as raw bytes by the disassembler
  std::set<int> instruments;
  std::vector<int> loop_points;  // file offsets of the loop point marks
  int loops = 0;                 // loop N { ... } pairs
  int max_loop_nesting = 0;
  int unmatched_loop_marks = 0;  // loop starts never closed, loop ends with no loop open
  std::vector<TempoEvent> tempo_events;
  bool has_end = false;
};

struct SongSummary {
  SongLayout layout;
  std::array<TrackSummary, kChannelCount> tracks{};
  std::set<int> defined;         // patch numbers with a bank record
  std::set<int> used;            // patch numbers some track selects
  std::set<int> undefined_used;  // used, neither defined nor built in (0)
};

SongSummary SummarizeSong(std::span<const uint8_t> file);

}  // namespace opl2::analysis
