// The player's run on POSIX: SIGINT, SIGTERM and SIGHUP stop it, the
// terminal is held in raw mode while the song plays, and _exit ends it.
#include "player/player_platform.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <optional>

#include "player/key_wait_stop.h"
#include "player/raw_terminal.h"

namespace opl2 {
namespace {

std::atomic<int> g_stop_signals{0};

// Ctrl+C, SIGTERM and SIGHUP end playback through the normal shutdown; a
// second one ends the process at once.
void OnStopSignal(int) {
  RestoreConsoleMode();
  if (g_stop_signals.fetch_add(1) > 0) _exit(0);
  StopKeyWait();
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
  KeyWaitStopFd();  // the stop pipe exists before any signal can need it
}

void HoldKeysForTheKeyReader() {
  // A job in the background of its terminal leaves the terminal alone.
  static std::optional<RawTerminalMode> quiet_terminal;
  if (!InBackgroundOf(STDIN_FILENO)) quiet_terminal.emplace(STDIN_FILENO);
}

// Every way out of the run puts the terminal's mode back.
void EndProcess(int status) {
  RestoreConsoleMode();
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

}  // namespace opl2
