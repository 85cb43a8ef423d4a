// Helpers for tests that drive the key reader through a pseudo-terminal.
#pragma once

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace opl2::test {

// The terminal mode of a pty as its slave side sees it; `fd` may be either side.
inline termios ModeOf(int fd) {
  termios mode{};
  tcgetattr(fd, &mode);
  return mode;
}

inline bool SameMode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

inline bool IsRaw(const termios& mode) {
  return (mode.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
         (mode.c_iflag & (ICRNL | INLCR | IGNCR | IXON)) == 0 && mode.c_cc[VMIN] == 1;
}

// Waits (5 s at most) until the reader has put the terminal in raw mode, i.e.
// it is waiting for a key. Bytes sent before that would meet the line editor.
inline bool WaitUntilRaw(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    if (IsRaw(ModeOf(fd))) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

inline void Send(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace opl2::test
