// The process command line on Windows: the line exactly as the process was
// started with it, program name included (GetCommandLineA).
#include <windows.h>

#include <string>

#undef GetCommandLine  // windows.h maps it to GetCommandLineA

#include "player/command_tail.h"

namespace opl2 {

// The platform keeps the whole line; main's split arguments are not needed.
void SetCommandLine(int, const char* const*) {}

std::string GetCommandLine() {
  const char* line = ::GetCommandLineA();
  return line != nullptr ? std::string(line) : std::string();
}

}  // namespace opl2
