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
#include "player/read_key.h"  // ReadKey and StopKeyWait, on the console

namespace opl2 {

// One wait for a key on the console, telling a key, a stop and input that
// is no console apart (for opl2tool keys).
ConsoleKey WaitForConsoleKey();

// True when standard input is a console.
bool StdinIsConsole();

}  // namespace opl2
