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

void StepChannel(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  const TrackBuffer& track = engine.song->tracks[channel];
  ch.row_done = 0;
  for (int events = 0; ch.row_done == 0; ++events) {
    if (events == kMaxEventsPerStep ||
        static_cast<uint32_t>(ch.read_pos) >= static_cast<uint32_t>(kTrackBufferSize)) {
      StopChannel(engine, channel);
      return;
    }
    ch.current_event = track[static_cast<uint32_t>(ch.read_pos)];
    ++ch.read_pos;
    InterpretEvent(engine, channel);
  }
}

}  // namespace opl2
