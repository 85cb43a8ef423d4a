#include "player/raw_terminal.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace opl2 {
namespace {

// What a signal handler needs to restore the terminal: the descriptor in raw
// mode (-1 when none) and its saved mode. The mode is written before the
// descriptor is published.
std::atomic<int> g_raw_fd{-1};
termios g_saved_mode{};

static_assert(std::atomic<int>::is_always_lock_free, "the restore hook runs in signal handlers");

termios RawModeOf(const termios& mode) {
  termios raw = mode;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
  raw.c_iflag &=
      ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  return raw;
}

}  // namespace

RawTerminalMode::RawTerminalMode(int fd) : fd_(fd) {
  if (!isatty(fd) || tcgetattr(fd, &saved_) != 0) return;
  raw_ = RawModeOf(saved_);
  g_saved_mode = saved_;
  g_raw_fd.store(fd);
  active_ = true;
  tcsetattr(fd, TCSANOW, &raw_);
}

RawTerminalMode::~RawTerminalMode() {
  if (!active_) return;
  g_raw_fd.store(-1);
  tcsetattr(fd_, TCSANOW, &saved_);
}

void RawTerminalMode::Reapply() {
  if (!active_ || g_raw_fd.load() == fd_) return;
  g_raw_fd.store(fd_);
  tcsetattr(fd_, TCSANOW, &raw_);
}

void RawTerminalMode::DiscardPendingInput() {
  if (active_) tcflush(fd_, TCIFLUSH);
}

void RestoreConsoleMode() {
  const int saved_errno = errno;
  const int fd = g_raw_fd.exchange(-1);
  if (fd >= 0) tcsetattr(fd, TCSANOW, &g_saved_mode);
  errno = saved_errno;
}

}  // namespace opl2
