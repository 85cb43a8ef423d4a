#include "sequencer/engine_voice.h"
#include "sequencer/sequencer.h"

namespace opl2 {

void ArmTimerB(Engine& engine) {
  if (engine.timer != nullptr) engine.timer->Arm(engine.seq.timer_b_value);
}

void TimerTick(Engine& engine) {
  if (engine.seq.playing != 1) return;
  SequencerTick(engine);
  for (int c = 0; c < kChannelCount; ++c) {
    if (engine.channels[c].slide_active == 1) SlideTick(engine, c);
  }
  ArmTimerB(engine);
}

void SequencerTick(Engine& engine) {
  for (int c = 0; c < kChannelCount; ++c) {
    ChannelState& ch = engine.channels[c];
    if (ch.active != 1) continue;
    CountUp(ch.tick_count);
    if (ch.tick_count == static_cast<int32_t>(ch.step_ticks)) {
      ch.tick_count = 0;
      StepChannel(engine, c);
    }
  }
}

void StopChannel(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  ch.active = 0;
  KeyOff(engine, channel);
  ch.row_done = 1;
}

// Watches one row for a cycle. The row's course depends only on the track
// (which never changes), the read position and the open loops' entries: the
// loop depth and the start and count of every level up to it (the levels
// above it are set afresh when opened). When the end mark jumps back to the
// loop point twice at the same depth and no event in between touched a loop
// level at or below that depth, the row is where it was one pass before and
// will come back there for ever.
class RowCycleWatch {
 public:
  // Before an event: whether it can change a live loop level.
  void BeforeEvent(const ChannelState& ch) {
    const EventKind kind = KindOfEvent(static_cast<uint8_t>(ch.current_event));
    if (kind == EventKind::kLoopEnd && ch.loop_depth <= depth_) touched_ = true;
  }
  // After an event; true when the row provably never closes.
  bool AfterEvent(const ChannelState& ch, bool jumped_to_loop_point) {
    if (ch.loop_depth < depth_) touched_ = true;
    if (!jumped_to_loop_point) return false;
    if (depth_ == ch.loop_depth && position_ == ch.read_pos && !touched_) return true;
    depth_ = ch.loop_depth;
    position_ = ch.read_pos;
    touched_ = false;
    return false;
  }

 private:
  int32_t depth_ = -1;  // loop depth at the last jump; -1 before the first
  int32_t position_ = 0;
  bool touched_ = false;
};

void StepChannel(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  const TrackBuffer& track = engine.song->tracks[channel];
  RowCycleWatch watch;
  ch.row_done = 0;
  for (int events = 0; ch.row_done == 0; ++events) {
    if (events == kMaxEventsPerStep ||
        static_cast<uint32_t>(ch.read_pos) >= static_cast<uint32_t>(kTrackBufferSize)) {
      StopChannel(engine, channel);
      return;
    }
    ch.current_event = track[static_cast<uint32_t>(ch.read_pos)];
    ++ch.read_pos;
    watch.BeforeEvent(ch);
    const uint32_t jumps = ch.loop_jumps;
    InterpretEvent(engine, channel);
    if (watch.AfterEvent(ch, ch.loop_jumps != jumps) && ch.row_done == 0) {
      StopChannel(engine, channel);
      return;
    }
  }
}

}  // namespace opl2
