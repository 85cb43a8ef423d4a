// opl2tool keys end to end: the real program on a pseudo-terminal, the keys
// typed one by one as a terminal sends them.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "terminal_support.h"

namespace opl2 {
namespace {

using test::Send;
using test::WaitUntilRaw;

// Collects the program's output from the pty master, line by line.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}

  // The next line (without "\r\n"); nothing at the end of the output or after
  // 10 s without a line.
  std::optional<std::string> Next() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      const std::size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char chunk[256];
      const ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;  // the slave side is closed
      pending_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // The next line that `accept` takes, skipping others.
  template <typename Accept>
  std::optional<std::string> NextWhere(Accept accept) {
    while (auto line = Next()) {
      if (accept(*line)) return line;
    }
    return std::nullopt;
  }

 private:
  int fd_;
  std::string pending_;
};

bool IsCode(const std::string& line) {
  if (line.empty()) return false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (!(std::isdigit(static_cast<unsigned char>(line[i])) || (i == 0 && line[i] == '-'))) {
      return false;
    }
  }
  return line != "-";
}

// `stty -g` prints the mode as colon-separated hexadecimal fields.
bool IsSttyMode(const std::string& line) {
  return line.find(':') != std::string::npos &&
         line.find_first_not_of("0123456789abcdef:") == std::string::npos;
}

TEST(KeysCommandTest, PrintsTheReadersCodeForEachKeyAndRestoresTheTerminal) {
  const std::string tool = std::string(OPL2_BIN_DIR) + "/opl2tool";
  ASSERT_EQ(access(tool.c_str(), X_OK), 0) << tool << " is not built";

  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The shell shows the terminal mode before and after the tool.
    execl("/bin/sh", "sh", "-c", "stty -g; \"$0\" keys; echo \"exit=$?\"; stty -g", tool.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }

  LineReader output(master);
  const auto mode_before = output.NextWhere(IsSttyMode);
  ASSERT_TRUE(mode_before.has_value());

  const std::vector<std::pair<std::string, int>> keys = {
      {"\x1bOP", -59},       // F1
      {"\x1b[1;3P", -1059},  // Alt+F1
      {"\x1b[1;5P", -2059},  // Ctrl+F1
      {"\x1b[1;2P", -59},    // Shift+F1
      {"\x1b[A", -72},       // Up
      {"\x1bx", 1088},       // Alt+x
      {"\x1b[Z", 15},        // Shift+Tab
      {"\r", 13},            // Enter
      {"1", 49},             // digits
      {"0", 48},             //
      {"!", 33},             // Shift+1
      {"\x03", 3},           // Ctrl+C: a key, the tool goes on
      {"\xc3\x88", -56},     // character 200
      {"\x1b", 27},          // Escape ends the tool
  };
  for (const auto& [bytes, code] : keys) {
    ASSERT_TRUE(WaitUntilRaw(master)) << "the tool waits in raw mode before key " << code;
    Send(master, bytes);
    const auto line = output.NextWhere(IsCode);
    ASSERT_TRUE(line.has_value()) << "no code printed for key " << code;
    EXPECT_EQ(std::stoi(*line), code);
  }

  EXPECT_EQ(output.NextWhere([](const std::string& l) { return l.rfind("exit=", 0) == 0; }),
            "exit=0");
  const auto mode_after = output.NextWhere(IsSttyMode);
  ASSERT_TRUE(mode_after.has_value());
  EXPECT_EQ(*mode_after, *mode_before) << "terminal mode restored";

  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(master);
}

}  // namespace
}  // namespace opl2
