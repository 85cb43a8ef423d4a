#include "opl/register_port.h"
#include "opl/voice.h"

namespace opl2 {

bool SetNotePitch(int note_code, VoiceState& voice) {
  if (!IsValidNoteCode(note_code)) return false;
  voice.block_fnum_high = NoteBlockFnumHigh(note_code);
  voice.fnum_low = NoteFnumLow(note_code);
  return true;
}

void ApplyDetune(VoiceState& voice) {
  const uint16_t word =
      static_cast<uint16_t>(((voice.block_fnum_high & 0xFF) << 8) | (voice.fnum_low & 0xFF));
  const uint16_t detuned = static_cast<uint16_t>(word + static_cast<uint16_t>(voice.detune));
  voice.block_fnum_high = detuned >> 8;
  voice.fnum_low = detuned & 0xFF;
}

void WritePitch(Port& port, int channel, VoiceState& voice) {
  ApplyDetune(voice);
  OplWrite(port, 0xA0 + channel, voice.fnum_low);
  OplWrite(port, 0xB0 + channel, KeyedPitchHigh(voice.block_fnum_high, voice.key_flag == 1));
}

void KeyOff(Port& port, int channel, const VoiceState& voice) {
  OplWrite(port, 0xB0 + channel, KeyedPitchHigh(voice.block_fnum_high, false));
}

void KeyOn(Port& port, int channel, const VoiceState& voice) {
  OplWrite(port, 0xB0 + channel, KeyedPitchHigh(voice.block_fnum_high, true));
}

}  // namespace opl2
