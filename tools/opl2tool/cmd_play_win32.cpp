// opl2tool play on Windows: the interactive player drives a POSIX terminal
// and plays through SDL2, neither of which the Windows build has.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace opl2tool {

int RunPlay(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "usage: opl2tool play [options] FILE|DIR|PATTERN...\n\n"
        "Not in the Windows build: the interactive player needs a POSIX terminal and SDL2.\n"
        "opl2play.exe plays a song on Windows.\n");
    return 0;
  }
  std::fprintf(stderr,
               "opl2tool play: not in the Windows build (needs a POSIX terminal and SDL2)\n");
  return 2;
}

}  // namespace opl2tool
