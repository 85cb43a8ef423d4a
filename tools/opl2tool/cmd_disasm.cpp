// opl2tool disasm: any file to song source text that assembles back to it.
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "command_line.h"
#include "commands.h"
#include "songtext/disassembler.h"
#include "tool_files.h"

namespace opl2tool {
namespace {

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool disasm SONG [-o SOURCE]\n\n"
               "Writes SONG ('-': standard input) as song source text\n"
               "(docs/song-source.md), to SOURCE or to standard output. 'opl2tool asm'\n"
               "turns the text back into exactly the same bytes, for any file: what does\n"
               "not read as events is kept as raw bytes, and an unusual layout as\n"
               "explicit offsets.\n\n"
               "  -o, --output SOURCE  the text file to write (written whole or not at\n"
               "                       all; never over SONG itself)\n");
}

}  // namespace

int RunDisasm(int argc, char** argv) {
  CommandLine cl("disasm", {{"output", 'o', "SOURCE"}});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintHelp(stdout);
    return 0;
  }
  if (!cl.Positionals(1, 1, "a SONG")) return 2;
  const std::string song = cl.positionals()[0];
  const std::string output = cl.Value("output") != nullptr ? *cl.Value("output") : "-";
  if (WritesOverAnInput(cl, output, {song})) return 1;
  InputBytes bytes;
  if (!bytes.Read(cl, song, kLargestReadableSong)) return 1;
  // The text goes out as it is made: a huge song's text is never whole.
  OutputStream out;
  if (!out.Open(cl, output)) return 1;
  bool ok = true;
  opl2::songtext::Disassemble(std::span<const uint8_t>(bytes.data(), bytes.size()),
                              [&](std::string_view part) {
                                if (ok) ok = out.Write(part.data(), part.size());
                              });
  return ok && out.Commit() ? 0 : 1;
}

}  // namespace opl2tool
