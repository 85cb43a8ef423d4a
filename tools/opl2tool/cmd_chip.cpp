// opl2tool chip: renders a timed register stream (.regs) on the emulated
// chip to raw signed 16-bit little-endian mono at the chip's native rate.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "chip/reg_stream.h"
#include "commands.h"

namespace opl2tool {
namespace {

void PrintChipHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool chip STREAM.regs -o OUT.s16\n\n"
               "Renders a register stream on the emulated YM3812 and writes raw signed\n"
               "16-bit little-endian mono samples at the chip's native rate (49,715.9 Hz):\n"
               "one sample per sample the stream advances. Sample i is the chip's output\n"
               "with every write made before sample i applied.\n\n"
               "Stream format, one command per line (blank lines and '#' comments skipped):\n"
               "  w RR VV   write hex value VV to hex register RR\n"
               "  s N       advance N samples\n\n"
               "  -o OUT    the file to write ('-' for standard output)\n");
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  *text = ss.str();
  return true;
}

}  // namespace

int RunChip(int argc, char** argv) {
  std::string in_path, out_path;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      PrintChipHelp(stdout);
      return 0;
    }
    if (std::strcmp(a, "-o") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "opl2tool chip: -o needs a file name\n");
        return 2;
      }
      out_path = argv[++i];
    } else if (a[0] == '-' && a[1] != '\0') {
      std::fprintf(stderr, "opl2tool chip: unknown option '%s' (see --help)\n", a);
      return 2;
    } else if (in_path.empty()) {
      in_path = a;
    } else {
      std::fprintf(stderr, "opl2tool chip: more than one stream given ('%s')\n", a);
      return 2;
    }
  }
  if (in_path.empty() || out_path.empty()) {
    std::fprintf(stderr, "opl2tool chip: need STREAM.regs and -o OUT.s16 (see --help)\n");
    return 2;
  }

  std::string text;
  if (!ReadWholeFile(in_path, &text)) {
    std::fprintf(stderr, "opl2tool chip: cannot read '%s': %s\n", in_path.c_str(),
                 std::strerror(errno));
    return 1;
  }
  opl2::RegStream stream;
  std::string error;
  if (!opl2::ParseRegStream(text, &stream, &error)) {
    std::fprintf(stderr, "opl2tool chip: %s: %s\n", in_path.c_str(), error.c_str());
    return 1;
  }

  const bool to_stdout = out_path == "-";
  std::FILE* out = to_stdout ? stdout : std::fopen(out_path.c_str(), "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "opl2tool chip: cannot write '%s': %s\n", out_path.c_str(),
                 std::strerror(errno));
    return 1;
  }
  bool write_ok = true;
  unsigned char bytes[opl2::kRenderBlock * 2];
  opl2::Chip chip;
  opl2::RenderRegStream(stream, chip, [&](const int16_t* samples, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const auto v = static_cast<uint16_t>(samples[i]);
      bytes[2 * i] = static_cast<unsigned char>(v & 0xFF);
      bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    if (write_ok && std::fwrite(bytes, 2, n, out) != n) write_ok = false;
  });
  if (std::fflush(out) != 0) write_ok = false;
  if (!to_stdout && std::fclose(out) != 0) write_ok = false;
  if (!write_ok) {
    std::fprintf(stderr, "opl2tool chip: writing '%s' failed: %s\n", out_path.c_str(),
                 std::strerror(errno));
    if (!to_stdout) std::remove(out_path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace opl2tool
