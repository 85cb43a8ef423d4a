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

namespace {

// Where the writes of a row played ahead go: nowhere.
class DiscardingPort : public Port {
 public:
  void Out(uint16_t, uint8_t) override {}
  uint8_t In(uint16_t, int) override { return 0; }
};

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

// Whether the channel's row, as it stands, closes within `budget` more
// events: a note, a rest, a slide or the track's end, not a guard. The row
// is played ahead with its writes discarded, and everything it changed (the
// channel, its loops, the tempo) is put back.
bool RowClosesWithin(Engine& engine, int channel, int budget) {
  ChannelState& ch = engine.channels[channel];
  const TrackBuffer& track = engine.song->tracks[channel];
  const ChannelState saved_channel = ch;
  const LoopTable saved_loops = engine.loops[channel];
  const SequencerState saved_seq = engine.seq;
  Port* const port = engine.port;
  DiscardingPort discard;
  engine.port = &discard;

  RowCycleWatch watch;
  bool closes = false;
  for (int events = 0; events < budget; ++events) {
    if (static_cast<uint32_t>(ch.read_pos) >= static_cast<uint32_t>(kTrackBufferSize)) break;
    ch.current_event = track[static_cast<uint32_t>(ch.read_pos)];
    ++ch.read_pos;
    watch.BeforeEvent(ch);
    const uint32_t jumps = ch.loop_jumps;
    InterpretEvent(engine, channel);
    if (ch.row_done != 0) {
      // A loop start sets it only when no loop level is left (a guard).
      closes = KindOfEvent(static_cast<uint8_t>(ch.current_event)) != EventKind::kLoopStart;
      break;
    }
    if (watch.AfterEvent(ch, ch.loop_jumps != jumps)) break;
  }

  engine.port = port;
  ch = saved_channel;
  engine.loops[channel] = saved_loops;
  engine.seq = saved_seq;
  return closes;
}

}  // namespace

void StepChannel(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  const TrackBuffer& track = engine.song->tracks[channel];
  ch.row_done = 0;
  for (int events = 0; ch.row_done == 0; ++events) {
    // A row still open after kRowCheckEvents goes on only if it closes
    // within kMaxEventsPerRow in all; otherwise it stops here.
    const bool stop = events == kRowCheckEvents
                          ? !RowClosesWithin(engine, channel, kMaxEventsPerRow - kRowCheckEvents)
                          : events == kMaxEventsPerRow;
    if (stop || static_cast<uint32_t>(ch.read_pos) >= static_cast<uint32_t>(kTrackBufferSize)) {
      StopChannel(engine, channel);
      return;
    }
    ch.current_event = track[static_cast<uint32_t>(ch.read_pos)];
    ++ch.read_pos;
    InterpretEvent(engine, channel);
  }
}

}  // namespace opl2
