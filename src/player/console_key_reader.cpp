#include "player/console_key_reader.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <span>

#include "player/key_code.h"
#include "player/key_decoder.h"

namespace opl2 {
namespace {

std::atomic<void (*)()> g_sleep_hook{nullptr};

enum class Readiness { kReadable, kTimedOut, kStopped };

// Holds off, on this thread, the signals a handler may catch, for the time it
// lives; WaitReadable lets them in only while it sleeps. Faults stay
// deliverable (one that comes while blocked ends the process without its
// handler), and so do SIGTTIN and SIGTTOU, so a job sent to the background
// stops as before when it touches the terminal.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigfillset(&held);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGTTIN, SIGTTOU}) {
      sigdelset(&held, sig);
    }
    pthread_sigmask(SIG_BLOCK, &held, &callers_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &callers_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

  const sigset_t& callers_mask() const { return callers_; }

 private:
  sigset_t callers_;
};

// Waits until `fd` can be read (or has hung up), `timeout_ms` passed (-1:
// no limit), or a stop is pending. `fd` -1 waits for the stop alone.
//
// A signal handler may put the saved mode back (RestoreConsoleMode) without
// ending the wait. Signals are let in only inside ppoll, which they end, so
// one can never land between the check of the mode and the sleep: each
// sleep starts in raw mode, and the mode is checked again after each signal.
Readiness WaitReadable(int fd, int timeout_ms, RawTerminalMode* raw) {
  const SignalsHeld held;
  const timespec timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1'000'000L};
  for (;;) {
    if (TakeKeyWaitStop()) return Readiness::kStopped;
    if (raw != nullptr) raw->Reapply();
    std::array<pollfd, 2> watched{{{fd, POLLIN, 0}, {KeyWaitStopFd(), POLLIN, 0}}};
    if (const auto hook = g_sleep_hook.load()) hook();
    const int ready = ppoll(watched.data(), watched.size(), timeout_ms < 0 ? nullptr : &timeout,
                            &held.callers_mask());
    if (ready < 0) {
      const int error = errno;
      if (error != EINTR && error != EAGAIN) return Readiness::kReadable;  // read reports it
      continue;
    }
    if (ready == 0) return Readiness::kTimedOut;
    if (watched[0].revents != 0) return Readiness::kReadable;
  }
}

// Reads and decodes until a counted key, the end of the input or a stop. A
// terminal is read in chunks, whatever follows the key is discarded; other
// input is read one byte at a time so that nothing after the key is taken.
KeyWaitResult ReadKeys(int fd, RawTerminalMode* raw) {
  std::array<std::uint8_t, 256> buffer{};
  std::size_t length = 0;
  bool timed_out = false;
  bool input_ended = false;
  const std::uint8_t erase = raw != nullptr ? raw->erase_character() : kDefaultEraseCharacter;

  for (;;) {
    std::size_t pos = 0;
    while (pos < length) {
      const DecodeResult decoded = DecodeKey(
          std::span<const std::uint8_t>(buffer.data() + pos, length - pos), timed_out, erase);
      if (decoded.status == DecodeStatus::kIncomplete) break;
      pos += decoded.consumed;
      if (decoded.status != DecodeStatus::kKey) continue;
      if (const auto code = KeyCodeFor(decoded.event)) {
        if (raw != nullptr) raw->DiscardPendingInput();
        return KeyWaitResult{KeyWaitEnd::kKey, *code};
      }
    }
    std::memmove(buffer.data(), buffer.data() + pos, length - pos);
    length -= pos;
    if (input_ended) return KeyWaitResult{KeyWaitEnd::kInputEnded, kKeyWaitStopped};
    timed_out = false;

    // Bytes left over are the start of a sequence: give the rest a moment.
    const int timeout_ms = length > 0 ? kEscapeTimeoutMs : -1;
    switch (WaitReadable(fd, timeout_ms, raw)) {
      case Readiness::kStopped:
        return KeyWaitResult{KeyWaitEnd::kStopped, kKeyWaitStopped};
      case Readiness::kTimedOut:
        timed_out = true;
        continue;
      case Readiness::kReadable:
        break;
    }
    const std::size_t wanted = raw != nullptr ? buffer.size() - length : 1;
    const ssize_t got = read(fd, buffer.data() + length, wanted);
    if (got > 0) {
      length += static_cast<std::size_t>(got);
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      // Take what is left as it is, then report the end.
      input_ended = true;
      timed_out = true;
    }
  }
}

}  // namespace

KeyWaitResult WaitForKey(int fd) {
  KeyWaitStopFd();  // the wake-up pipe exists before the wait can miss a stop
  RawTerminalMode raw(fd);
  return ReadKeys(fd, raw.active() ? &raw : nullptr);
}

std::int32_t ReadKey() {
  // A background job may neither set the terminal's mode nor read it: like
  // input that has ended, it waits for a stop.
  const KeyWaitResult result =
      InBackgroundOf(STDIN_FILENO) ? KeyWaitResult{} : WaitForKey(STDIN_FILENO);
  if (result.end == KeyWaitEnd::kKey) return result.code;
  if (result.end == KeyWaitEnd::kInputEnded) {
    // No key can come: sleep until a stop (or a signal that ends the process).
    while (WaitReadable(-1, -1, nullptr) != Readiness::kStopped) {
    }
  }
  return kKeyWaitStopped;
}

void SetKeyWaitSleepHook(void (*hook)()) {
  g_sleep_hook.store(hook);
}

}  // namespace opl2
