// opl2tool keys: the key reader on its own. Prints the code ReadKey gives for
// each key pressed, one per line, until Escape (27). Handy for checking what
// a terminal sends and which presses would end playback.
#include <unistd.h>

#include <cstdio>

#include "command_line.h"
#include "commands.h"
#include "player/console_key_reader.h"
#include "tool_files.h"

namespace opl2tool {
namespace {

constexpr int kEscapeCode = 27;

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool keys\n\n"
               "Waits for key presses on standard input and prints, one per line, the\n"
               "code the player's key reader gives for each: the character for keys\n"
               "that type one (128..255 as -128..-1), -scan code for keys that do not\n"
               "(F1 -59, Up -72), -1000-scan with Alt, -2000-scan with Ctrl, the\n"
               "virtual-key code + 1000 for Alt with a character key (Alt+X 1088),\n"
               "15 for Shift+Tab. Presses that would not end playback print nothing.\n"
               "Ends after Escape (27), or at the end of the input when standard\n"
               "input is not a terminal.\n");
}

}  // namespace

int RunKeys(int argc, char** argv) {
  CommandLine cl("keys", {});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintHelp(stdout);
    return 0;
  }
  if (!cl.Positionals(0, 0, "nothing")) return 2;
  if (isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "Press keys; Escape ends.\n");
  }
  for (;;) {
    const opl2::KeyWaitResult key = opl2::WaitForKey(STDIN_FILENO);
    if (key.end != opl2::KeyWaitEnd::kKey) return 0;
    std::printf("%d\n", static_cast<int>(key.code));
    if (!FinishStandardOutput(cl)) return 1;
    if (key.code == kEscapeCode) return 0;
  }
}

}  // namespace opl2tool
