// The key reader on the Win32 console: ReadConsoleInputA key events, decided
// by console_key_loop.h and key_code.h. The console's input mode on return is
// the one on entry.
//
// When standard input is not a console no key event can ever come: the wait
// then sleeps (without spinning) until StopKeyWait, as it also does when a
// console read fails.
#pragma once

#include <cstdint>

#include "player/console_key_loop.h"

namespace opl2 {

// ReadKey's result when the wait was ended by StopKeyWait. No key press has
// this code.
inline constexpr std::int32_t kKeyWaitStopped = 0;

// Blocks until a counted key press on the console and returns its code; or
// returns kKeyWaitStopped once StopKeyWait has been called.
std::int32_t ReadKey();

// One wait for a key on the console, telling a key, a stop and input that
// is no console apart (for opl2tool keys).
ConsoleKey WaitForConsoleKey();

// Ends the current key wait, or the next one if none is in progress. One call
// ends one wait. Callable from any thread, a console control handler included.
void StopKeyWait();

// True when standard input is a console.
bool StdinIsConsole();

}  // namespace opl2
