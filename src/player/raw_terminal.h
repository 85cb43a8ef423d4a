// Raw mode of a terminal for the time of a key wait, and the hook that puts
// the saved mode back from a signal handler.
#pragma once

#include <termios.h>

#include <cstdint>

namespace opl2 {

// While alive, holds the terminal `fd` in raw mode: no canonical input, no
// echo, no signal keys, no input translation (CR stays CR, Ctrl+S and Ctrl+Q
// are keys), reads return after one byte. Output processing is left as it
// was. The mode on construction is put back on destruction. Input already
// queued is kept.
//
// Instances nest: one made while another already holds `fd` in raw mode
// leaves the restoring to that outer one (its mode on entry is raw, and so
// is its mode on return).
class RawTerminalMode {
 public:
  // Does nothing (active() false) when `fd` is not a terminal.
  explicit RawTerminalMode(int fd);
  ~RawTerminalMode();
  RawTerminalMode(const RawTerminalMode&) = delete;
  RawTerminalMode& operator=(const RawTerminalMode&) = delete;

  bool active() const { return active_; }

  // The byte the terminal's Backspace key sends (its erase character, 127
  // when it has none).
  std::uint8_t erase_character() const;

  // Switches to raw mode again when RestoreConsoleMode put the saved mode
  // back in the meantime (a signal handler that did not end the wait).
  void Reapply();

  // Discards the input the terminal has received but nobody has read.
  void DiscardPendingInput();

 private:
  int fd_;
  bool active_ = false;
  bool owner_ = false;  // this instance put the terminal in raw mode
  termios saved_{};
  termios raw_{};
};

// Puts back the mode saved by the outermost live RawTerminalMode, if any
// holds a terminal in raw mode. Async-signal-safe (tcsetattr from a saved
// struct), idempotent, keeps errno.
void RestoreConsoleMode();

// True when `fd` is this process's controlling terminal and another process
// group has it in the foreground (a job started with "&"): changing its mode
// or reading it would stop the process (SIGTTOU, SIGTTIN), so leave it alone.
bool InBackgroundOf(int fd);

}  // namespace opl2
