// opl2tool chip: renders a timed register stream (.regs) on the emulated
// chip to raw signed 16-bit little-endian mono at the chip's native rate.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "chip/reg_stream.h"
#include "command_line.h"
#include "commands.h"
#include "reg_pacing.h"
#include "tool_files.h"

namespace opl2tool {
namespace {

void PrintChipHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool chip STREAM.regs -o OUT.s16 [--pace]\n\n"
               "Renders a register stream ('-': standard input) on the emulated YM3812 and\n"
               "writes raw signed 16-bit little-endian mono samples at the chip's native\n"
               "rate (49,715.9 Hz): one sample per sample the stream advances. Sample i is\n"
               "the chip's output with every write made before sample i applied.\n\n"
               "Writes made in one instant (with no advance between them) all act before\n"
               "the same sample, in the chip's internal order of work, as if they took no\n"
               "time. On a real bus each write takes 104 master clocks (about 1.44 samples);\n"
               "--pace spaces them so.\n\n"
               "Stream format, one command per line (blank lines and '#' comments skipped):\n"
               "  w RR VV   write hex value VV to hex register RR\n"
               "  s N       advance N samples\n\n"
               "  -o, --output OUT  the file to write ('-' for standard output; never over\n"
               "                    STREAM itself)\n"
               "  --pace            space each instant's writes 104 master clocks apart, as\n"
               "                    the bus would: the k-th write of a run acts before\n"
               "                    sample floor((72 p + 104 k) / 72) of a run at sample p\n");
}

}  // namespace

int RunChip(int argc, char** argv) {
  CommandLine cl("chip", {{"output", 'o', "OUT"}, {"pace", 0, nullptr}});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintChipHelp(stdout);
    return 0;
  }
  if (!cl.Positionals(1, 1, "a STREAM.regs")) return 2;
  if (cl.Value("output") == nullptr) {
    cl.Error("needs -o OUT, the sample file to write (see --help)");
    return 2;
  }
  const std::string in_path = cl.positionals()[0];
  const std::string out_path = *cl.Value("output");
  if (WritesOverAnInput(cl, out_path, {in_path})) return 1;

  InputBytes text;
  if (!text.Read(cl, in_path)) return 1;
  opl2::RegStream stream;
  std::string error;
  if (!opl2::ParseRegStream(
          std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), &stream,
          &error)) {
    cl.Error(Quoted(in_path) + ": " + error);
    return 1;
  }
  if (cl.Has("pace")) stream = PaceRegStream(stream);

  const bool to_stdout = out_path == "-";
  std::FILE* out = to_stdout ? stdout : std::fopen(out_path.c_str(), "wb");
  if (out == nullptr) {
    cl.Error("cannot write " + Quoted(out_path, true) + ": " + std::strerror(errno));
    return 1;
  }
  bool write_ok = true;
  int write_errno = 0;
  unsigned char bytes[opl2::kRenderBlock * 2];
  opl2::Chip chip;
  opl2::RenderRegStream(stream, chip, [&](const int16_t* samples, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const auto v = static_cast<uint16_t>(samples[i]);
      bytes[2 * i] = static_cast<unsigned char>(v & 0xFF);
      bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    if (write_ok && std::fwrite(bytes, 2, n, out) != n) {
      write_ok = false;
      write_errno = errno;
    }
  });
  if (std::fflush(out) != 0 && write_ok) {
    write_ok = false;
    write_errno = errno;
  }
  if (!to_stdout && std::fclose(out) != 0 && write_ok) {
    write_ok = false;
    write_errno = errno;
  }
  if (!write_ok) {
    cl.Error("cannot write " + Quoted(out_path, true) + ": " + std::strerror(write_errno));
    if (!to_stdout) std::remove(out_path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace opl2tool
