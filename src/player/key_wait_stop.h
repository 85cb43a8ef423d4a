// Ending a key wait from a signal handler or another thread: a flag plus a
// pipe that the waiting poll(2) watches.
#pragma once

#include "player/read_key.h"  // StopKeyWait: async-signal-safe here, keeps errno

namespace opl2 {

// For the key reader. The read end of the wake-up pipe, made on first use
// (call it on a normal thread before waiting, never from a signal handler);
// -1 when no pipe could be made, in which case stops are seen only when the
// wait wakes up for another reason.
int KeyWaitStopFd();

// Empties the pipe; true, once per StopKeyWait, when a stop is pending.
bool TakeKeyWaitStop();

}  // namespace opl2
