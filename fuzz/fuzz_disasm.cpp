// Any bytes as a song file: disassembled, the text must assemble without
// errors back to the very same bytes, and disassemble to the same text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "songtext/assembler.h"
#include "songtext/disassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  const std::string text = opl2::songtext::Disassemble(file);
  const opl2::songtext::AssembleResult r = opl2::songtext::Assemble(text);
  if (!r.ok()) {
    for (const auto& d : r.diagnostics.list()) {
      std::fprintf(stderr, "%s\n", opl2::songtext::FormatDiagnostic("text", d).c_str());
    }
    std::fprintf(stderr, "fuzz_disasm: the disassembly does not assemble:\n%s\n", text.c_str());
    std::abort();
  }
  if (r.bytes.size() != size || !std::equal(r.bytes.begin(), r.bytes.end(), data)) {
    std::fprintf(stderr, "fuzz_disasm: round trip changed the bytes:\n%s\n", text.c_str());
    std::abort();
  }
  if (opl2::songtext::Disassemble(r.bytes) != text) {
    std::fprintf(stderr, "fuzz_disasm: the text is not stable:\n%s\n", text.c_str());
    std::abort();
  }
  return 0;
}
