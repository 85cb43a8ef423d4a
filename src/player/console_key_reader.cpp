#include "player/console_key_reader.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <span>

#include "player/key_code.h"
#include "player/key_decoder.h"

namespace opl2 {
namespace {

enum class Readiness { kReadable, kTimedOut, kStopped };

// Waits until `fd` can be read (or has hung up), `timeout_ms` passed (-1:
// no limit), or a stop is pending. `fd` -1 waits for the stop alone.
Readiness WaitReadable(int fd, int timeout_ms, RawTerminalMode* raw) {
  for (;;) {
    if (TakeKeyWaitStop()) return Readiness::kStopped;
    std::array<pollfd, 2> watched{{{fd, POLLIN, 0}, {KeyWaitStopFd(), POLLIN, 0}}};
    const int ready = poll(watched.data(), watched.size(), timeout_ms);
    if (ready < 0) {
      const int error = errno;
      if (error != EINTR && error != EAGAIN) return Readiness::kReadable;  // read reports it
      // A signal: its handler may have put the saved mode back without
      // ending the wait.
      if (raw != nullptr) raw->Reapply();
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

}  // namespace opl2
