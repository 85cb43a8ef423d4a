// Finds where a looping song repeats itself exactly, so that a VGM file can
// loop back there.
//
// The rule: the file ends before tick E (where the render would fade) and
// loops back to the start of an earlier tick A when the engine is proven to
// do from A exactly what it does from E: the same register writes in the same
// order in every tick, and the same Timer B values. The tracks and the
// instruments do not change while a song plays, so this holds once the
// engine's playback state (PlaybackFingerprint) has become equal on both
// sides. Candidates for A are the ticks that leave the engine in the state
// tick E leaves it in, with every running channel past its loop point, apart
// from leftovers of earlier notes that may never be used again (the last
// volume, a finished slide's target). For each, earliest first, two fresh
// runs of the song, one from A and one from E, play side by side, tick by
// tick; A is taken when their states become fully equal before any write or
// timer value differs. Jumping from E back to A then plays exactly what the
// song plays after E, whatever the chip's registers hold (they hold the same
// in both cases). So the file holds the intro once and loops over the rest;
// a first pass that enters the loop differently from the later ones (a note
// still sounding from the intro, say) stays outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "sequencer/channel_state.h"

namespace opl2 {

// The state that decides everything the engine does from here on, as a flat
// list: the song-wide flags and every channel's counters, read position, open
// loops, voice and slide fields. Left out are the fields that are written
// before they are read each time they are used: current_event, row_done,
// loop_limit, loop table entries deeper than the open loops, and the running
// slide's notes and target while no slide runs; and loop_jumps, which only
// counts. With `coarse`, also the last volume and the slide target bytes,
// which a later note or slide usually overwrites before they matter.
void PlaybackFingerprint(const Engine& engine, bool coarse, std::vector<int32_t>* out);

// A tick as the export saw it: ticks run before it, master clock of its
// first write, and how many writes came before it.
struct TickMark {
  uint64_t tick = 0;
  uint64_t clock = 0;
  size_t first_write = 0;
};

class LoopFinder {
 public:
  // Candidates tried before giving up.
  static constexpr int kMaxAttempts = 64;

  // Called before every tick, in order: `engine` is as the previous tick
  // left it.
  void BeforeTick(const Engine& engine, const TickMark& mark);

  // The tick the file can loop back to from the last tick seen, given the
  // engine as that tick left it; none when no loop is proven on fresh runs
  // of `song`.
  std::optional<TickMark> Find(const Engine& engine, const Song* song) const;

 private:
  // Hash of the coarse fingerprint when every running channel has passed its
  // loop point, else none.
  std::optional<uint64_t> CandidateHash(const Engine& engine) const;

  mutable std::vector<int32_t> scratch_;
  std::optional<TickMark> last_mark_;
  // Candidate ticks in order, by the hash of the state they leave.
  std::unordered_map<uint64_t, std::vector<TickMark>> ticks_by_state_;
};

}  // namespace opl2
