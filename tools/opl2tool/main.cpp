// opl2tool: everything around the player that a player alone can't do.
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <new>

#include "commands.h"
#include "tool_platform.h"

namespace opl2tool {
namespace {

constexpr Command kCommands[] = {
    {"play", "[options] FILE|DIR|PATTERN...",
     "play songs on the sound device, with keys, a screen and a list", RunPlay},
    {"trace", "SONG [--ticks N]", "print every register write and timer arming, tick by tick",
     RunTrace},
    {"render", "SONG -o OUT [--seconds S] [--loops N] [--fade S] [--rate R|native] [--title T]",
     "play a song on the emulated chip into a .wav or .flac file", RunRender},
    {"keys", "", "print the key code of each key pressed, until Escape", RunKeys},
    {"asm", "SOURCE -o SONG", "assemble a song source text into a song file", RunAsm},
    {"disasm", "SONG [-o SOURCE]", "write a song file as song source text", RunDisasm},
    {"info", "SONG [--json]", "show a song's layout, tracks, instruments and duration", RunInfo},
    {"chip", "STREAM.regs -o OUT.s16 [--pace]",
     "render a register stream on the emulated chip to raw 16-bit samples", RunChip},
    {"vgm", "SONG -o OUT.vgm|.vgz [--loops N] [--seconds S] [--title T ...] | --check FILE",
     "export a song as a VGM log of its chip writes; check a VGM file", RunVgm},
};

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: opl2tool COMMAND [ARGS...]\n\ncommands:\n");
  for (const Command& c : kCommands) {
    std::fprintf(out, "  %-8s %s\n           %s\n", c.name, c.usage, c.summary);
  }
  std::fprintf(out, "\nopl2tool COMMAND --help shows a command's own help.\n");
}

}  // namespace
}  // namespace opl2tool

int main(int argc, char** argv) {
  using namespace opl2tool;
  PrepareStandardStreams();
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
      std::strcmp(argv[1], "help") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    // Whatever the input, a command ends with its output or a message.
    try {
      return c.run(argc - 1, argv + 1);
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "opl2tool %s: out of memory\n", c.name);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "opl2tool %s: %s\n", c.name, e.what());
    }
    return 1;
  }
  std::fprintf(stderr, "opl2tool: unknown command '%s'\n\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
