// The voice driver as the sequencer calls it: by channel number, on the
// engine's port, with the channel's own state and the song's bank.
#pragma once

#include "opl/voice.h"
#include "sequencer/channel_state.h"

namespace opl2 {

inline void LoadPatch(Engine& engine, int channel, int patch_number) {
  LoadPatch(*engine.port, channel, engine.channels[channel],
            engine.song->bank[static_cast<uint8_t>(patch_number)]);
}
inline bool SetNotePitch(int note_code, Engine& engine, int channel) {
  return SetNotePitch(note_code, engine.channels[channel]);
}
inline void ApplyDetune(Engine& engine, int channel) {
  ApplyDetune(engine.channels[channel]);
}
inline void WritePitch(Engine& engine, int channel) {
  WritePitch(*engine.port, channel, engine.channels[channel]);
}
inline void KeyOff(Engine& engine, int channel) {
  KeyOff(*engine.port, channel, engine.channels[channel]);
}
inline void KeyOn(Engine& engine, int channel) {
  KeyOn(*engine.port, channel, engine.channels[channel]);
}
inline void SetVolume(Engine& engine, int channel, int volume) {
  SetVolume(*engine.port, channel, engine.channels[channel], volume);
}

}  // namespace opl2
