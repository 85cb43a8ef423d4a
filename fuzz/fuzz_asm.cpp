// Any bytes as song source text. Errors are fine; a crash, a hang or a read
// out of bounds is not. What assembles must survive the round trip through
// the disassembler unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "songtext/assembler.h"
#include "songtext/disassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A heap copy of exactly `size` bytes, with no terminator after it.
  std::string source(reinterpret_cast<const char*>(data), size);
  const opl2::songtext::AssembleResult first = opl2::songtext::Assemble(std::string_view(source));
  if (!first.ok()) return 0;
  const std::string text = opl2::songtext::Disassemble(first.bytes);
  const opl2::songtext::AssembleResult second = opl2::songtext::Assemble(text);
  if (!second.ok() || second.bytes != first.bytes) {
    std::fprintf(stderr, "fuzz_asm: round trip failed for\n%s\n--- disassembly:\n%s\n",
                 source.c_str(), text.c_str());
    std::abort();
  }
  return 0;
}
