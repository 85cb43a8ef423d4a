#include "jukebox/terminal_control.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace opl2::jukebox {
namespace {

// The alternate screen with the cursor hidden, and back.
constexpr char kEnterScreen[] = "\x1b[?1049h\x1b[?25l\x1b[H\x1b[2J";
constexpr char kLeaveScreen[] = "\x1b[?25h\x1b[?1049l";

// What the handlers reach: all lock-free, set before the handlers go in.
std::atomic<int> g_wake_fd{-1};
std::atomic<bool> g_screen_up{false};
std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void WriteRaw(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

// Async-signal-safe: the saved mode back, and out of the alternate screen.
void PutTerminalBack() {
  RestoreConsoleMode();
  if (g_screen_up.exchange(false)) WriteRaw(STDOUT_FILENO, kLeaveScreen, sizeof kLeaveScreen - 1);
}

void Wake(char what) {
  const int saved = errno;
  const int fd = g_wake_fd.load();
  if (fd >= 0) {
    [[maybe_unused]] const ssize_t n = write(fd, &what, 1);
  }
  errno = saved;
}

void OnStop(int sig) {
  g_stop_signal.store(sig);
  Wake('s');
}
void OnResize(int) {
  Wake('w');
}
void OnContinue(int) {
  Wake('c');
}

void OnTerminalStop(int) {
  const int saved = errno;
  PutTerminalBack();
  // Stop for real once this handler returns (the signal is held till then).
  signal(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);
  errno = saved;
}

void OnCrash(int sig) {
  PutTerminalBack();
  // The action is back to the default (SA_RESETHAND): the signal, raised
  // again, ends the process once this handler returns.
  raise(sig);
}

void Install(int sig, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

}  // namespace

TerminalControl::TerminalControl(bool raw_keys, bool screen) : screen_(screen) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    wake_read_ = fds[0];
    wake_write_ = fds[1];
    g_wake_fd.store(wake_write_);
  }
  g_stop_signal.store(0);
  for (int sig : kStopSignals) Install(sig, OnStop, SA_RESTART);
  for (int sig : kCrashSignals) Install(sig, OnCrash, SA_RESETHAND);
  Install(SIGWINCH, OnResize, SA_RESTART);
  Install(SIGCONT, OnContinue, SA_RESTART);
  Install(SIGTSTP, OnTerminalStop, SA_RESTART);
  signal(SIGPIPE, SIG_IGN);
  if (raw_keys) raw_ = std::make_unique<RawTerminalMode>(STDIN_FILENO);
  if (screen_) EnterScreen();
}

TerminalControl::~TerminalControl() {
  LeaveScreen();
  raw_.reset();  // the saved mode back
  for (int sig : kStopSignals) signal(sig, SIG_DFL);
  for (int sig : kCrashSignals) signal(sig, SIG_DFL);
  signal(SIGWINCH, SIG_DFL);
  signal(SIGCONT, SIG_DFL);
  signal(SIGTSTP, SIG_DFL);
  g_wake_fd.store(-1);
  if (wake_read_ >= 0) close(wake_read_);
  if (wake_write_ >= 0) close(wake_write_);
}

void TerminalControl::EnterScreen() {
  if (!screen_) return;
  Write(kEnterScreen, sizeof kEnterScreen - 1);
  g_screen_up.store(true);
}

void TerminalControl::LeaveScreen() {
  if (g_screen_up.exchange(false)) Write(kLeaveScreen, sizeof kLeaveScreen - 1);
}

TerminalControl::Events TerminalControl::TakeEvents() {
  Events events;
  char buf[64];
  for (;;) {
    const ssize_t n = read(wake_read_, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == 'w') events.resized = true;
      if (buf[i] == 'c') events.resumed = true;
    }
  }
  events.stop_signal = g_stop_signal.load();
  return events;
}

void TerminalControl::Suspend() {
  // The SIGTSTP handler puts the terminal back and stops the process; after
  // `fg` the SIGCONT handler wakes the main loop, which calls Retake().
  raise(SIGTSTP);
}

void TerminalControl::Retake() {
  Install(SIGTSTP, OnTerminalStop, SA_RESTART);
  if (raw_) raw_->Reapply();
  EnterScreen();
}

bool TerminalControl::Size(int* rows, int* cols) {
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || ws.ws_col == 0) {
    return false;
  }
  *rows = ws.ws_row;
  *cols = ws.ws_col;
  return true;
}

void TerminalControl::Write(const char* bytes, size_t size) {
  WriteRaw(STDOUT_FILENO, bytes, size);
}

}  // namespace opl2::jukebox
