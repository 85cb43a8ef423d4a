// opl2tool asm: song source text to a song file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "songtext/assembler.h"
#include "songtext/file_io.h"

namespace opl2tool {
namespace {

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool asm SOURCE -o SONG\n\n"
               "Assembles a song source (docs/song-source.md) into a song file.\n"
               "Every error is reported as FILE:LINE:COLUMN: message; when there is\n"
               "any, SONG is left as it was. Warnings do not stop the song.\n");
}

}  // namespace

int RunAsm(int argc, char** argv) {
  const char* source = nullptr;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "-o") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "opl2tool asm: -o needs a file name\n");
        return 2;
      }
      output = argv[++i];
    } else if (source == nullptr) {
      source = argv[i];
    } else {
      std::fprintf(stderr, "opl2tool asm: unexpected argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (source == nullptr || output == nullptr) {
    PrintHelp(stderr);
    return 2;
  }
  std::vector<uint8_t> text;
  std::string error;
  if (!opl2::songtext::ReadWholeFile(source, &text, &error)) {
    std::fprintf(stderr, "opl2tool asm: cannot read %s: %s\n", source, error.c_str());
    return 1;
  }
  const opl2::songtext::AssembleResult result = opl2::songtext::Assemble(
      std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  for (const auto& d : result.diagnostics.list()) {
    std::fprintf(stderr, "%s\n", opl2::songtext::FormatDiagnostic(source, d).c_str());
  }
  if (!result.ok()) {
    std::fprintf(stderr, "opl2tool asm: %d error%s; %s not written\n",
                 result.diagnostics.error_count(), result.diagnostics.error_count() == 1 ? "" : "s",
                 output);
    return 1;
  }
  if (!opl2::songtext::WriteFileAtomically(output, result.bytes.data(), result.bytes.size(),
                                           &error)) {
    std::fprintf(stderr, "opl2tool asm: cannot write %s: %s\n", output, error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace opl2tool
