// The OPL2 voice driver: instrument patches, note pitch with detune, key
// control and channel volume, each for one melodic channel 0..8 whose state
// the caller keeps.
#pragma once

#include <array>
#include <cstdint>

#include "bus/port.h"
#include "opl/voice_state.h"
#include "song/note_code.h"
#include "song/song_format.h"

namespace opl2 {

struct TuningEntry {
  uint8_t low;   // F-number bits 0..7
  uint8_t high;  // F-number bits 8..9
};
using TuningTable = std::array<TuningEntry, kSemitones>;

// The F-numbers of the 12 semitones, C first.
inline constexpr TuningTable kTuningTable = {{
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

// A valid note's pitch as the two register bytes (block and F-number bits
// 8..9; F-number bits 0..7).
constexpr int NoteBlockFnumHigh(int note_code) {
  return kTuningTable[NoteSemitone(note_code)].high + 4 * NoteOctave(note_code);
}
constexpr int NoteFnumLow(int note_code) {
  return kTuningTable[NoteSemitone(note_code)].low;
}

// The byte sent to register 0xB0 + channel: the stored pitch's high byte
// with bit 5, the key-on bit, replaced by the key state. The stored byte
// can hold bit 5 itself (a detune or a slide that carried the pitch word
// past block 7 or borrowed below block 0); it never decides the key.
constexpr int KeyedPitchHigh(int block_fnum_high, bool key_on) {
  return (block_fnum_high & ~0x20) | (key_on ? 0x20 : 0);
}

// The start-up's first step. The table is a constant, so there is nothing
// left for it to fill.
inline void InstallTuning() {}

// Programs the patch into the channel's two operators and keeps the levels
// that SetVolume works from.
void LoadPatch(Port& port, int channel, VoiceState& voice, const InstrumentPatch& patch);

// Stores the note's pitch in fnum_low / block_fnum_high. Returns false, and
// stores nothing, for a code that is not a note.
bool SetNotePitch(int note_code, VoiceState& voice);
// Adds detune to the stored pitch word (one 16-bit addition).
void ApplyDetune(VoiceState& voice);
// ApplyDetune, then writes 0xA0+n and 0xB0+n (key-on bit as key_flag says).
void WritePitch(Port& port, int channel, VoiceState& voice);
void KeyOff(Port& port, int channel, const VoiceState& voice);
void KeyOn(Port& port, int channel, const VoiceState& voice);

// Sets the loudness of the operators that are heard from a volume 0..127.
// Each level is held within 0..63, so volumes 128..255 never reach the
// key-scale bits.
void SetVolume(Port& port, int channel, const VoiceState& voice, int volume);

}  // namespace opl2
