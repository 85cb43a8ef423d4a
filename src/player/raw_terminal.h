// Raw mode of a terminal for the time of a key wait, and the hook that puts
// the saved mode back from a signal handler.
#pragma once

#include <termios.h>

namespace opl2 {

// While alive, holds the terminal `fd` in raw mode: no canonical input, no
// echo, no signal keys, no input translation (CR stays CR, Ctrl+S and Ctrl+Q
// are keys), reads return after one byte. Output processing is left as it
// was. The mode on construction is put back on destruction. Input already
// queued is kept. One instance at a time in a process.
class RawTerminalMode {
 public:
  // Does nothing (active() false) when `fd` is not a terminal.
  explicit RawTerminalMode(int fd);
  ~RawTerminalMode();
  RawTerminalMode(const RawTerminalMode&) = delete;
  RawTerminalMode& operator=(const RawTerminalMode&) = delete;

  bool active() const { return active_; }

  // Switches to raw mode again when RestoreConsoleMode put the saved mode
  // back in the meantime (a signal handler that did not end the wait).
  void Reapply();

  // Discards the input the terminal has received but nobody has read.
  void DiscardPendingInput();

 private:
  int fd_;
  bool active_ = false;
  termios saved_{};
  termios raw_{};
};

// Puts back the mode saved by the live RawTerminalMode, if any holds a
// terminal in raw mode. Async-signal-safe (tcsetattr from a saved struct),
// idempotent, keeps errno.
void RestoreConsoleMode();

}  // namespace opl2
