#include "sequencer/engine_voice.h"
#include "sequencer/sequencer.h"

namespace opl2 {
namespace {

// The byte at read_pos, or 0 past the end of the buffer (the next event
// fetch there stops the channel).
uint8_t PeekOperand(const Engine& engine, int channel) {
  const uint32_t pos = static_cast<uint32_t>(engine.channels[channel].read_pos);
  return pos < static_cast<uint32_t>(kTrackBufferSize) ? engine.song->tracks[channel][pos] : 0;
}

uint8_t ReadOperand(Engine& engine, int channel) {
  const uint8_t value = PeekOperand(engine, channel);
  ++engine.channels[channel].read_pos;
  return value;
}

void Skip(Engine& engine, int channel, int count) {
  engine.channels[channel].read_pos += count;
}

void PlayNote(Engine& engine, int channel, int code) {
  ChannelState& ch = engine.channels[channel];
  if (SetNotePitch(code, engine, channel)) {
    if (ch.retrigger == 1) KeyOff(engine, channel);
    ch.step_ticks = PeekOperand(engine, channel);
    WritePitch(engine, channel);
    ch.slide_active = 0;
    if (ch.retrigger == 1) KeyOn(engine, channel);
    ch.retrigger = 1;
    ch.key_flag = 1;
    ch.row_done = 1;
  }
  Skip(engine, channel, OperandCount(static_cast<uint8_t>(code)));  // the length
}

void Rest(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  ch.step_ticks = ReadOperand(engine, channel);
  ch.slide_active = 0;
  KeyOff(engine, channel);
  ch.key_flag = 0;
  ch.row_done = 1;
}

void StartSlide(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  ch.slide_from_note = ReadOperand(engine, channel);
  ch.slide_to_note = ReadOperand(engine, channel);
  if (SetNotePitch(ch.slide_from_note, engine, channel)) {
    if (ch.retrigger == 1) KeyOff(engine, channel);
    ch.step_ticks = ReadOperand(engine, channel);
    WritePitch(engine, channel);
    if (ch.retrigger == 1) KeyOn(engine, channel);
    ch.key_flag = 1;
    ch.retrigger = 1;
  }
  ch.slide_active = 1;
  SetSlideTarget(engine, channel, ch.slide_to_note);
  ch.row_done = 1;
}

void LoopStart(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  if (ch.loop_depth >= kLoopDepths - 1) {
    // No table entry left for a 256th nested loop: the track is damaged.
    StopChannel(engine, channel);
    return;
  }
  ++ch.loop_depth;
  Skip(engine, channel, OperandCount(EV_LOOP_START));
  LoopTable& loops = engine.loops[channel];
  loops.loop_start[ch.loop_depth] = ch.read_pos;
  loops.loop_count[ch.loop_depth] = 0;
}

void LoopEnd(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  LoopTable& loops = engine.loops[channel];
  const int d = ch.loop_depth;
  CountUp(loops.loop_count[d]);
  ch.loop_limit = PeekOperand(engine, channel);
  if (loops.loop_count[d] < ch.loop_limit) {
    ch.read_pos = loops.loop_start[d];
  } else if (loops.loop_count[d] == ch.loop_limit) {
    Skip(engine, channel, OperandCount(EV_LOOP_END));
    // An end without an open loop works on depth 0 and leaves it there.
    if (ch.loop_depth > 0) --ch.loop_depth;
  }
}

void End(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  if (ch.has_loop_point == 1) {
    ch.read_pos = ch.loop_point_pos;
    ++ch.loop_jumps;
    return;
  }
  StopChannel(engine, channel);
}

}  // namespace

void InterpretEvent(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  const uint8_t code = static_cast<uint8_t>(ch.current_event);
  switch (KindOfEvent(code)) {
    case EventKind::kSetInstrument:
      KeyOff(engine, channel);
      ch.instrument = ReadOperand(engine, channel);
      LoadPatch(engine, channel, ch.instrument);
      return;
    case EventKind::kVolume:
      ch.volume = ReadOperand(engine, channel);
      SetVolume(engine, channel, ch.volume);
      return;
    case EventKind::kTempo:
      engine.seq.timer_b_value = ReadOperand(engine, channel);
      return;
    case EventKind::kTie:
      ch.retrigger = 0;
      return;
    case EventKind::kDetune: {
      const uint8_t low = ReadOperand(engine, channel);
      const uint8_t high = ReadOperand(engine, channel);
      ch.detune = static_cast<int16_t>(static_cast<uint16_t>(high << 8 | low));
      return;
    }
    case EventKind::kLoopStart:
      LoopStart(engine, channel);
      return;
    case EventKind::kLoopEnd:
      LoopEnd(engine, channel);
      return;
    case EventKind::kLoopPoint:
      ch.loop_point_pos = ch.read_pos;
      ch.has_loop_point = 1;
      return;
    case EventKind::kSlide:
      StartSlide(engine, channel);
      return;
    case EventKind::kEnd:
      End(engine, channel);
      return;
    case EventKind::kRest:
      Rest(engine, channel);
      return;
    case EventKind::kNote:
      PlayNote(engine, channel, code);
      return;
    case EventKind::kIgnored:
      Skip(engine, channel, OperandCount(code));
      return;
  }
}

}  // namespace opl2
