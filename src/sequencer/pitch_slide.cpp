#include "opl/register_port.h"
#include "sequencer/engine_voice.h"
#include "sequencer/sequencer.h"

namespace opl2 {
namespace {

constexpr int kStepsPerTick = 4;

uint16_t PitchWord(const ChannelState& ch) {
  return static_cast<uint16_t>(((ch.block_fnum_high & 0xFF) << 8) | (ch.fnum_low & 0xFF));
}

void StorePitchWord(Engine& engine, int channel, uint16_t word) {
  ChannelState& ch = engine.channels[channel];
  ch.fnum_low = word & 0xFF;
  ch.block_fnum_high = word >> 8;
}

// Every slide step writes both pitch registers, always with the key on.
void SendSlidePitch(Engine& engine, int channel) {
  const ChannelState& ch = engine.channels[channel];
  OplWrite(*engine.port, 0xA0 + channel, ch.fnum_low);
  OplWrite(*engine.port, 0xB0 + channel, KeyedPitchHigh(ch.block_fnum_high, true));
}

}  // namespace

void SetSlideTarget(Engine& engine, int channel, int end_note) {
  ChannelState& ch = engine.channels[channel];
  if (IsValidNoteCode(end_note)) {
    ch.slide_target_high = NoteBlockFnumHigh(end_note);
    ch.slide_target_low = NoteFnumLow(end_note);
  }
  const uint16_t word =
      static_cast<uint16_t>(((ch.slide_target_high & 0xFF) << 8) | (ch.slide_target_low & 0xFF));
  const uint16_t detuned = static_cast<uint16_t>(word + static_cast<uint16_t>(ch.detune));
  ch.slide_target_high = detuned >> 8;
  ch.slide_target_low = detuned & 0xFF;
  ch.slide_target = detuned;
}

void SlideTick(Engine& engine, int channel) {
  const ChannelState& ch = engine.channels[channel];
  if (ch.slide_from_note < ch.slide_to_note) {
    SlideUp(engine, channel);
  } else if (ch.slide_from_note > ch.slide_to_note) {
    SlideDown(engine, channel);
  }
}

void SlideUp(Engine& engine, int channel) {
  for (int i = 0; i < kStepsPerTick; ++i) {
    if (engine.channels[channel].slide_active == 1) SlideStepUp(engine, channel);
  }
}

void SlideDown(Engine& engine, int channel) {
  for (int i = 0; i < kStepsPerTick; ++i) {
    if (engine.channels[channel].slide_active == 1) SlideStepDown(engine, channel);
  }
}

void SlideStepUp(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  const uint16_t word = static_cast<uint16_t>(PitchWord(ch) + 1);
  StorePitchWord(engine, channel, word);
  if (word >= ch.slide_target) ch.slide_active = 0;
  SendSlidePitch(engine, channel);
}

void SlideStepDown(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  const uint16_t word = static_cast<uint16_t>(PitchWord(ch) - 1);
  StorePitchWord(engine, channel, word);
  if (word <= ch.slide_target) ch.slide_active = 0;
  SendSlidePitch(engine, channel);
}

}  // namespace opl2
