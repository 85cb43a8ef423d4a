#include "opl/register_port.h"
#include "opl/voice.h"

namespace opl2 {
namespace {

constexpr int kKeyOnBit = 0x20;

constexpr TuningTable kSemitoneFnums = {{
    {0x59, 1},  // C
    {0x6B, 1},  // C#
    {0x81, 1},  // D
    {0x98, 1},  // D#
    {0xB0, 1},  // E
    {0xCA, 1},  // F
    {0xE5, 1},  // F#
    {0x02, 2},  // G
    {0x20, 2},  // G#
    {0x41, 2},  // A
    {0x63, 2},  // A#
    {0x87, 2},  // B
}};

TuningTable g_tuning{};

}  // namespace

const TuningTable& GetTuningTable() {
  return g_tuning;
}

void InstallTuning() {
  g_tuning = kSemitoneFnums;
}

bool SetNotePitch(int note_code, Engine& engine, int channel) {
  if (!IsValidNoteCode(note_code)) return false;
  const int octave = note_code >> 4;
  const TuningEntry& t = g_tuning[note_code & 0x0F];
  ChannelState& ch = engine.channels[channel];
  ch.block_fnum_high = t.high + 4 * octave;
  ch.fnum_low = t.low;
  return true;
}

void ApplyDetune(Engine& engine, int channel) {
  ChannelState& ch = engine.channels[channel];
  const uint16_t word =
      static_cast<uint16_t>(((ch.block_fnum_high & 0xFF) << 8) | (ch.fnum_low & 0xFF));
  const uint16_t detuned = static_cast<uint16_t>(word + static_cast<uint16_t>(ch.detune));
  ch.block_fnum_high = detuned >> 8;
  ch.fnum_low = detuned & 0xFF;
}

void WritePitch(Engine& engine, int channel) {
  ApplyDetune(engine, channel);
  const ChannelState& ch = engine.channels[channel];
  OplWrite(*engine.port, 0xA0 + channel, ch.fnum_low);
  OplWrite(*engine.port, 0xB0 + channel,
           ch.key_flag == 1 ? ch.block_fnum_high + kKeyOnBit : ch.block_fnum_high);
}

void KeyOff(Engine& engine, int channel) {
  OplWrite(*engine.port, 0xB0 + channel, engine.channels[channel].block_fnum_high);
}

void KeyOn(Engine& engine, int channel) {
  OplWrite(*engine.port, 0xB0 + channel, engine.channels[channel].block_fnum_high + kKeyOnBit);
}

}  // namespace opl2
