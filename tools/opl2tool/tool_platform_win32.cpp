#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "tool_platform.h"

namespace opl2tool {
namespace {

std::atomic<bool> g_interrupted{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    g_interrupted = true;
    return TRUE;
  }
  if (event == CTRL_CLOSE_EVENT) {
    // The process ends when this returns: give the command its few seconds
    // to remove its temporary file and exit first.
    g_interrupted = true;
    Sleep(5000);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void PrepareStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

void CatchInterrupts() {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool Interrupted() {
  return g_interrupted;
}

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace opl2tool
