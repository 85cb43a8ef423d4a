#include "player/key_wait_stop.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace opl2 {
namespace {

std::atomic<bool> g_stop_requested{false};
std::atomic<int> g_wake_write_fd{-1};
int g_wake_read_fd = -1;

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "StopKeyWait runs in signal handlers");

void MakeWakePipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_wake_read_fd = fds[0];
  g_wake_write_fd.store(fds[1]);
}

void DrainWakePipe() {
  if (g_wake_read_fd < 0) return;
  char sink[64];
  while (read(g_wake_read_fd, sink, sizeof sink) > 0) {
  }
}

}  // namespace

void StopKeyWait() {
  const int saved_errno = errno;
  g_stop_requested.store(true);
  const int fd = g_wake_write_fd.load();
  if (fd >= 0) {
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = write(fd, &wake, 1);
  }
  errno = saved_errno;
}

int KeyWaitStopFd() {
  static std::once_flag made;
  std::call_once(made, MakeWakePipe);
  return g_wake_read_fd;
}

bool TakeKeyWaitStop() {
  // Empty the pipe first: a wake-up byte left behind without its flag would
  // make every later poll return at once.
  DrainWakePipe();
  return g_stop_requested.exchange(false);
}

}  // namespace opl2
