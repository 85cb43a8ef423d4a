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

constexpr std::uint8_t kDefaultErase = 0x7F;

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
  if (!isatty(fd)) return;
  if (g_raw_fd.load() == fd) {
    // An outer instance holds it: share its saved mode, restore nothing.
    saved_ = g_saved_mode;
    raw_ = RawModeOf(saved_);
    active_ = true;
    return;
  }
  if (tcgetattr(fd, &saved_) != 0) return;
  raw_ = RawModeOf(saved_);
  g_saved_mode = saved_;
  g_raw_fd.store(fd);
  active_ = true;
  owner_ = true;
  tcsetattr(fd, TCSANOW, &raw_);
}

RawTerminalMode::~RawTerminalMode() {
  if (!owner_) return;
  g_raw_fd.store(-1);
  tcsetattr(fd_, TCSANOW, &saved_);
}

std::uint8_t RawTerminalMode::erase_character() const {
  const cc_t erase = saved_.c_cc[VERASE];
  return active_ && erase != _POSIX_VDISABLE ? static_cast<std::uint8_t>(erase) : kDefaultErase;
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

bool InBackgroundOf(int fd) {
  const pid_t foreground = tcgetpgrp(fd);  // fails unless fd is our controlling terminal
  return foreground > 0 && foreground != getpgrp();
}

}  // namespace opl2
