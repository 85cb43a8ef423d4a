// Waits on standard input for one key press and returns its code (key_code.h).
//
// On a terminal the wait runs in raw mode: no line input, no echo and no
// signal keys (ICANON, ECHO, ISIG and IEXTEN off; ICRNL, IXON and the other
// input translations off), so a key returns at once and Ctrl+C arrives as the
// character 3. The mode in force on entry is put back on every way out: on
// return, and from a signal handler through RestoreConsoleMode. A handler on
// the waiting thread that puts the mode back and returns without a stop
// leaves the wait going on: it goes raw again, wherever the signal landed.
// Keys typed before the call are kept and read first; once a key that counts
// has been read, everything else read or queued with it is discarded. Presses
// that do not count and sequences that are no key press are skipped.
//
// When standard input is not a terminal (a file, a pipe, /dev/null) the mode
// is not touched. Bytes are decoded the same way but read one at a time, so
// the bytes after a key stay for the next call. At the end of the input, or on
// a read error, ReadKey does not return and does not spin: it sleeps until
// StopKeyWait is called (from a signal handler, typically) and then returns
// kKeyWaitStopped. Without such a handler SIGINT, SIGTERM and SIGHUP end the
// process by their default action, so `opl2play song </dev/null &` plays
// until killed. A job in the background of its terminal (started with "&")
// leaves the terminal alone and waits the same way, so it plays instead of
// being stopped by SIGTTOU or SIGTTIN.
//
// For the player's signal handler (SIGINT, SIGTERM, SIGHUP), both async-signal
// safe:
//
//   void OnStopSignal(int) {
//     opl2::RestoreConsoleMode();  // the terminal is usable again at once
//     opl2::StopKeyWait();         // ReadKey returns kKeyWaitStopped and the
//   }                              // main thread runs the normal shutdown
//
// A handler that ends the process itself only needs RestoreConsoleMode.
#pragma once

#include <cstdint>

#include "player/key_wait_stop.h"  // StopKeyWait
#include "player/raw_terminal.h"   // RestoreConsoleMode
#include "player/read_key.h"       // ReadKey, on standard input

namespace opl2 {

enum class KeyWaitEnd {
  kKey,         // `code` is the key's code
  kStopped,     // StopKeyWait was called
  kInputEnded,  // end of input or a read error: no key will ever come
};

struct KeyWaitResult {
  KeyWaitEnd end = KeyWaitEnd::kInputEnded;
  std::int32_t code = kKeyWaitStopped;
};

// ReadKey on any file descriptor, reporting the end of the input instead of
// waiting for a signal after it. `fd` is put in raw mode when it is a terminal.
KeyWaitResult WaitForKey(int fd);

// For tests: `hook` runs on the waiting thread each time the wait has checked
// for a stop and the terminal's mode and is about to sleep, the moment a
// signal is least welcome. nullptr (the default) runs nothing.
void SetKeyWaitSleepHook(void (*hook)());

}  // namespace opl2
