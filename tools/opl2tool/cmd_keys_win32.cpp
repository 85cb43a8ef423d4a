// opl2tool keys on the Win32 console: the code ReadKey gives for each key
// pressed, one per line, until Escape (27).
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "player/console_key_reader_win32.h"

namespace opl2tool {
namespace {

constexpr int kEscapeCode = 27;

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool keys\n\n"
               "Waits for key presses on the console and prints, one per line, the\n"
               "code the player's key reader gives for each: the character for keys\n"
               "that type one (128..255 as -128..-1), -scan code for keys that do not\n"
               "(F1 -59, Up -72), -1000-scan with Alt, -2000-scan with Ctrl, the\n"
               "virtual-key code + 1000 for Alt with a character key (Alt+X 1088),\n"
               "15 for Shift+Tab. Presses that would not end playback print nothing.\n"
               "Ends after Escape (27). Standard input must be a console.\n");
}

}  // namespace

int RunKeys(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintHelp(stdout);
    return 0;
  }
  if (argc != 1) {
    PrintHelp(stderr);
    return 2;
  }
  if (!opl2::StdinIsConsole()) {
    std::fprintf(stderr, "opl2tool keys: standard input is not a console\n");
    return 2;
  }
  std::fprintf(stderr, "Press keys; Escape ends.\n");
  for (;;) {
    const opl2::ConsoleKey key = opl2::WaitForConsoleKey();
    if (key.end != opl2::ConsoleWaitEnd::kKey) return 0;
    std::printf("%d\n", static_cast<int>(key.code));
    std::fflush(stdout);
    if (key.code == kEscapeCode) return 0;
  }
}

}  // namespace opl2tool
