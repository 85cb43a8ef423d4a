// All playback state: one ChannelState per channel, one SequencerState per
// song, and the Engine that groups them with the song they play and the bus.
#pragma once

#include <array>
#include <cstdint>

#include "bus/port.h"
#include "bus/timer_b.h"
#include "opl/voice_state.h"
#include "song/song.h"

namespace opl2 {

inline constexpr int kLoopDepths = 256;  // depth 0 = no open loop; 1..255 usable

// The voice fields (pitch, key, detune, patch levels) are the voice driver's
// part of the channel.
struct ChannelState : VoiceState {
  // Track reading.
  int32_t read_pos = 0;
  int32_t current_event = 0;
  int32_t row_done = 0;
  int32_t active = 0;
  int32_t tick_count = 0;
  uint8_t step_ticks = 0;

  // Loops (the tables of the open loops are the channel's LoopTable).
  int32_t loop_depth = 0;
  int32_t loop_limit = 0;
  int32_t has_loop_point = 0;
  int32_t loop_point_pos = 0;
  // Times an end mark has jumped back to the loop point. Only observed by
  // tools that decide how long a looping song runs.
  uint32_t loop_jumps = 0;

  // Note and voice (the rest is in VoiceState).
  uint8_t volume = 0;
  int32_t retrigger = 0;
  // The patch number last loaded. Only observed by front ends that show it.
  int32_t instrument = 0;

  // Pitch slide.
  int32_t slide_active = 0;
  int32_t slide_from_note = 0;
  int32_t slide_to_note = 0;
  int32_t slide_target_high = 0;
  int32_t slide_target_low = 0;
  uint16_t slide_target = 0;
};

// Per loop depth: the read position where each repetition resumes, and the
// passes through the loop end made so far. Kept apart from the rest of the
// channel because only depths 0..loop_depth are ever read before they are
// written again, so a copy of the playing state needs no more of them.
struct LoopTable {
  std::array<int32_t, kLoopDepths> loop_start{};
  std::array<int32_t, kLoopDepths> loop_count{};
};

struct SequencerState {
  int32_t playing = 0;
  uint8_t timer_b_value = 0;
};

// Everything one run plays with, apart from the song it reads. Fixed size
// (about 19 KB); nothing in it allocates. A default-constructed Engine is the
// state at process start. Copying channels, loops and seq copies the whole
// state of playback: the song never changes while it plays.
struct Engine {
  Port* port = nullptr;        // where every register write goes
  TimerB* timer = nullptr;     // armed at the end of every tick (may be null)
  const Song* song = nullptr;  // set when a song is started; null before

  std::array<ChannelState, kChannelCount> channels{};
  std::array<LoopTable, kChannelCount> loops{};
  SequencerState seq{};
};

// Adds 1 to a 32-bit counter, wrapping from the largest value to the
// smallest: a channel held on a length of 0 counts for ever.
inline void CountUp(int32_t& counter) {
  counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + 1u);
}

// Puts every channel at the start of its track (called once per song load).
void ResetChannelState(Engine& engine);

}  // namespace opl2
