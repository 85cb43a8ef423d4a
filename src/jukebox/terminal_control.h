// The player's hold on its terminal and the signals it answers.
//
// Every way out puts the terminal back as it was: the normal end (the
// destructor), SIGINT, SIGTERM and SIGHUP (they only wake the main loop,
// which then ends normally), and a crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT: the handler restores the mode and leaves the screen, then the
// signal takes its default course). SIGTSTP (and Ctrl+Z, which raw mode
// hands over as a key) restores the terminal and stops the process; after
// `fg`, SIGCONT wakes the main loop, which takes the terminal again and
// redraws everything. SIGWINCH wakes it to redraw at the new size.
#pragma once

#include <atomic>
#include <memory>

#include "player/raw_terminal.h"

namespace opl2::jukebox {

class TerminalControl {
 public:
  struct Events {
    int stop_signal = 0;  // SIGINT, SIGTERM or SIGHUP came
    bool resized = false;
    bool resumed = false;  // continued after a stop
  };

  // `raw_keys`: standard input (a terminal) goes to raw mode for keys.
  // `screen`: standard output (a terminal) shows the full screen.
  TerminalControl(bool raw_keys, bool screen);
  ~TerminalControl();
  TerminalControl(const TerminalControl&) = delete;
  TerminalControl& operator=(const TerminalControl&) = delete;

  // Readable when a signal came; TakeEvents() says which.
  int wake_fd() const { return wake_read_; }
  Events TakeEvents();

  // Stops the process as Ctrl+Z would in a shell, with the terminal put
  // back; returns once continued (then wake_fd reports `resumed`).
  void Suspend();
  // After a stop: raw mode and the screen again (the caller redraws).
  void Retake();

  // The terminal's size; false when standard output is not a terminal.
  static bool Size(int* rows, int* cols);
  // Writes all of `bytes` to standard output.
  static void Write(const char* bytes, size_t size);

 private:
  void EnterScreen();
  void LeaveScreen();

  bool screen_;
  std::unique_ptr<RawTerminalMode> raw_;
  int wake_read_ = -1;
  int wake_write_ = -1;
};

}  // namespace opl2::jukebox
