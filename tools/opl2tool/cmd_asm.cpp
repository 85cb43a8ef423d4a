// opl2tool asm: song source text to a song file.
#include <cstdio>
#include <string>
#include <string_view>

#include "command_line.h"
#include "commands.h"
#include "songtext/assembler.h"
#include "tool_files.h"

namespace opl2tool {
namespace {

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool asm SOURCE -o SONG\n\n"
               "Assembles a song source (docs/song-source.md) into a song file. SOURCE\n"
               "'-' reads standard input; SONG '-' writes standard output.\n"
               "Every error is reported as FILE:LINE:COLUMN: message; when there is\n"
               "any, SONG is left as it was. Warnings do not stop the song.\n\n"
               "  -o, --output SONG  the song file to write (written whole or not at all;\n"
               "                     never over SOURCE itself)\n");
}

std::string Plural(int64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

int RunAsm(int argc, char** argv) {
  CommandLine cl("asm", {{"output", 'o', "SONG"}});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintHelp(stdout);
    return 0;
  }
  if (!cl.Positionals(1, 1, "a SOURCE")) return 2;
  if (cl.Value("output") == nullptr) {
    cl.Error("needs -o SONG, the song file to write (see --help)");
    return 2;
  }
  const std::string source = cl.positionals()[0];
  const std::string output = *cl.Value("output");
  if (WritesOverAnInput(cl, output, {source})) return 1;
  InputBytes text;
  if (!text.Read(cl, source)) return 1;
  const std::string shown = source == "-" ? "<stdin>" : source;
  const opl2::songtext::AssembleResult result = opl2::songtext::Assemble(
      std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
      [&shown](const opl2::songtext::Diagnostic& d) {
        std::fprintf(stderr, "%s\n", opl2::songtext::FormatDiagnostic(shown, d).c_str());
      });
  if (!result.ok()) {
    cl.Error(Plural(result.diagnostics.error_count(), "error") + "; " + Quoted(output, true) +
             " not written");
    return 1;
  }
  return WriteOutputFile(cl, output, result.bytes.data(), result.bytes.size()) ? 0 : 1;
}

}  // namespace opl2tool
