// opl2tool disasm: any file to song source text that assembles back to it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "songtext/disassembler.h"
#include "songtext/file_io.h"

namespace opl2tool {
namespace {

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool disasm SONG [-o SOURCE]\n\n"
               "Writes SONG as song source text (docs/song-source.md), to SOURCE or to\n"
               "standard output. 'opl2tool asm' turns the text back into exactly the\n"
               "same bytes, for any file: what does not read as events is kept as raw\n"
               "bytes, and an unusual layout as explicit offsets.\n");
}

}  // namespace

int RunDisasm(int argc, char** argv) {
  const char* song = nullptr;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "-o") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "opl2tool disasm: -o needs a file name\n");
        return 2;
      }
      output = argv[++i];
    } else if (song == nullptr) {
      song = argv[i];
    } else {
      std::fprintf(stderr, "opl2tool disasm: unexpected argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (song == nullptr) {
    PrintHelp(stderr);
    return 2;
  }
  std::vector<uint8_t> bytes;
  std::string error;
  if (!opl2::songtext::ReadWholeFile(song, &bytes, &error)) {
    std::fprintf(stderr, "opl2tool disasm: cannot read %s: %s\n", song, error.c_str());
    return 1;
  }
  const std::string text = opl2::songtext::Disassemble(bytes);
  if (output == nullptr) {
    const bool ok = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && ok ? 0 : 1;
  }
  if (!opl2::songtext::WriteFileAtomically(output, text.data(), text.size(), &error)) {
    std::fprintf(stderr, "opl2tool disasm: cannot write %s: %s\n", output, error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace opl2tool
