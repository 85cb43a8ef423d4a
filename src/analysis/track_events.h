// Splits a track's bytes into events the way the sequencer reads them: one
// code byte and its fixed number of operand bytes. An event whose operands
// run past the end of the bytes given is cut short and marked so.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "song/event_table.h"

namespace opl2::analysis {

struct TrackEvent {
  int offset = 0;          // of the code byte, within the track
  int size = 0;            // code plus the operands present
  bool truncated = false;  // fewer operand bytes than the code takes
  uint8_t code = 0;
  uint8_t op[4] = {};
};

std::vector<TrackEvent> SplitTrack(std::span<const uint8_t> bytes);

// How the source text shows an event. kRaw covers everything that has no
// name: reserved and unknown codes, invalid notes, cut-short events, and
// loops that do not pair up as loop N { ... }.
enum class EventForm {
  kNote,
  kRest,
  kTie,
  kInstrument,
  kVolume,
  kTempo,
  kDetune,
  kSlide,
  kLoopStart,  // F9 00 00: may open loop N { ... }
  kLoopEnd,    // F8 N 00 00 00 with N 1..255: may close it
  kLoopPoint,
  kEnd,
  kRaw,
};

EventForm FormOf(const TrackEvent& e);

// Pairs loop starts and loop ends (forms kLoopStart/kLoopEnd) innermost
// first. partner[i] is the index of the other half, or -1 when event i is
// not one half of a pair (it is then shown as raw bytes).
std::vector<int> PairLoops(const std::vector<TrackEvent>& events);

}  // namespace opl2::analysis
