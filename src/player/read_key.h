// The key wait the player ends its run with, as each system's key reader
// offers it (console_key_reader.h, console_key_reader_win32.h).
#pragma once

#include <cstdint>

namespace opl2 {

// ReadKey's result when the wait was ended by StopKeyWait. No key press has
// this code.
inline constexpr std::int32_t kKeyWaitStopped = 0;

// Blocks until a counted key press and returns its code (key_code.h); or
// returns kKeyWaitStopped once StopKeyWait has been called. The terminal's or
// console's mode on return is the one on entry.
std::int32_t ReadKey();

// Ends the current key wait, or the next one if none is in progress. One call
// ends one wait. Callable from any thread and from a signal handler or a
// console control handler.
void StopKeyWait();

}  // namespace opl2
