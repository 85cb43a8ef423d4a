// The player's keys: what each key code (the project's key reader's codes,
// player/key_code.h) asks for. `s` is a prefix: the digit after it solos a
// channel; any other key after it cancels the prefix and acts as itself.
#pragma once

#include <cstdint>

namespace opl2::jukebox {

enum class Command {
  kNone,
  kPause,    // pause or resume
  kSeek,     // by `value` seconds
  kRestart,  // the song from its start
  kNext,
  kPrevious,
  kMute,  // channel `value`: mute or unmute
  kSolo,  // channel `value`: solo, or back from solo
  kUnmuteAll,
  kVolume,     // by `value` dB
  kLoopMode,   // the set loop count / for ever
  kHelp,       // show or hide the keys
  kRedraw,     // Ctrl+L
  kQuit,       // q, Escape
  kInterrupt,  // Ctrl+C: quit as a signal would
  kSuspend,    // Ctrl+Z
};

struct KeyCommand {
  Command command = Command::kNone;
  int value = 0;
};

class KeyMap {
 public:
  KeyCommand Map(int32_t code);
  bool solo_pending() const { return solo_pending_; }

 private:
  bool solo_pending_ = false;
};

}  // namespace opl2::jukebox
