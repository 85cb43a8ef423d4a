#include "tool_platform.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>

namespace opl2tool {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
  g_interrupted = 1;
}

}  // namespace

void PrepareStandardStreams() {}

// The three signals are unblocked too: a tool started with them blocked (as
// some launchers do) still hears them, including one sent before it got here.
void CatchInterrupts() {
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

bool Interrupted() {
  return g_interrupted != 0;
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace opl2tool
