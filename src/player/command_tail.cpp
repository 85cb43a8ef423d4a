#include "player/command_tail.h"

namespace opl2 {
namespace {

constexpr char kBlank = ' ';
constexpr char kQuote = '"';
constexpr char kDropAllMark = 0x14;

bool IsTailWhiteSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// A program name with a blank or a double quote goes in double quotes, its own
// quotes left out (a file name on the platform this came from cannot hold
// one), so that the tail rules pass over exactly the program name.
void AppendProgramName(std::string& line, std::string_view name) {
  if (name.find_first_of(" \"") == std::string_view::npos) {
    line += name;
    return;
  }
  line += kQuote;
  for (char c : name) {
    if (c != kQuote) line += c;
  }
  line += kQuote;
}

}  // namespace

std::string CommandTailOf(std::string_view command_line) {
  std::size_t pos = 0;
  bool quoted = false;
  while (pos < command_line.size()) {
    const char c = command_line[pos];
    if (c == kQuote) {
      quoted = !quoted;
    } else if (c == kBlank && !quoted) {
      break;
    }
    ++pos;
  }
  while (pos < command_line.size() && IsTailWhiteSpace(command_line[pos])) ++pos;

  std::string tail(command_line.substr(pos));
  if (!tail.empty() && tail.back() == kDropAllMark) tail.clear();
  return tail;
}

std::string JoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    std::string_view arg = argv[i] != nullptr ? argv[i] : "";
    if (i == 0) {
      AppendProgramName(line, arg);
    } else {
      line += kBlank;
      line += arg;
    }
  }
  return line;
}

std::string GetCommandTail() {
  return CommandTailOf(GetCommandLine());
}

}  // namespace opl2
