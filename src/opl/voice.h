// The OPL2 voice driver: instrument patches, note pitch with detune, key
// control and channel volume, each for one melodic channel 0..8.
#pragma once

#include <array>
#include <cstdint>

#include "sequencer/channel_state.h"

namespace opl2 {

struct TuningEntry {
  uint8_t low;   // F-number bits 0..7
  uint8_t high;  // F-number bits 8..9
};
using TuningTable = std::array<TuningEntry, 12>;

// The F-numbers of the 12 semitones, C first.
const TuningTable& GetTuningTable();
// Fills the tuning table. Runs once at start-up, before anything else.
void InstallTuning();

// A note code is octave (high nibble, the block) and semitone (low nibble,
// 0..11). Codes with a semitone of 12..15 or an octave of 8..15 are not notes.
constexpr bool IsValidNoteCode(int code) {
  return (code & 0x0F) < 12 && code >= 0 && code < 0x80;
}

// Programs the patch into the channel's two operators and keeps the levels
// that SetVolume works from.
void LoadPatch(Engine& engine, int channel, int patch_number);

// Stores the note's pitch in fnum_low / block_fnum_high. Returns false, and
// stores nothing, for a code that is not a note.
bool SetNotePitch(int note_code, Engine& engine, int channel);
// Adds detune to the stored pitch word (one 16-bit addition).
void ApplyDetune(Engine& engine, int channel);
// ApplyDetune, then writes 0xA0+n and 0xB0+n (key-on bit as key_flag says).
void WritePitch(Engine& engine, int channel);
void KeyOff(Engine& engine, int channel);
void KeyOn(Engine& engine, int channel);

// Sets the loudness of the operators that are heard from a volume 0..127.
// Each level is held within 0..63, so volumes 128..255 never reach the
// key-scale bits.
void SetVolume(Engine& engine, int channel, int volume);

}  // namespace opl2
