// Ctrl+C, SIGTERM and SIGHUP during a long write: the commands that write a
// file whole notice them between blocks, remove their temporary file and
// exit with status 130.
#pragma once

#include <signal.h>

#include <csignal>

namespace opl2tool {

inline volatile std::sig_atomic_t g_interrupted = 0;

inline void OnInterrupt(int) {
  g_interrupted = 1;
}

// From here on the three signals set the flag instead of ending the process.
// They are unblocked too: a tool started with them blocked (as some launchers
// do) still hears them, including one sent before it got here.
inline void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigset_t signals;
  sigemptyset(&signals);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(sig, &action, nullptr);
    sigaddset(&signals, sig);
  }
  sigprocmask(SIG_UNBLOCK, &signals, nullptr);
}

inline bool Interrupted() {
  return g_interrupted != 0;
}

}  // namespace opl2tool
