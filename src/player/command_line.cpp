// The process command line on POSIX systems: the arguments main was given,
// joined again into one line.
#include <cstdio>
#include <string>
#include <vector>

#include "player/command_tail.h"

namespace opl2 {
namespace {

std::string& RecordedCommandLine() {
  static std::string command_line;
  return command_line;
}

bool& CommandLineRecorded() {
  static bool recorded = false;
  return recorded;
}

// The NUL-separated argument list the kernel keeps for this process.
std::string CommandLineFromProc() {
  std::FILE* file = std::fopen("/proc/self/cmdline", "rb");
  if (file == nullptr) return {};
  std::string raw;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) raw.append(chunk, n);
  std::fclose(file);

  std::vector<const char*> args;
  for (std::size_t pos = 0; pos < raw.size();) {
    args.push_back(raw.c_str() + pos);
    std::size_t end = raw.find('\0', pos);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return JoinCommandLine(static_cast<int>(args.size()), args.data());
}

}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
  RecordedCommandLine() = JoinCommandLine(argc, argv);
  CommandLineRecorded() = true;
}

std::string GetCommandLine() {
  if (CommandLineRecorded()) return RecordedCommandLine();
  return CommandLineFromProc();
}

}  // namespace opl2
