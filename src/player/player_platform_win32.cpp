// The player's run on Windows: Ctrl+C and the console's close through the
// console control handler, the console left as it is while the song plays
// (the key reader sets its mode for the wait), and ExitProcess at the end.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "player/player_platform.h"
#include "player/read_key.h"

namespace opl2 {
namespace {

std::atomic<int> g_stop_requests{0};

// Runs on a thread the system starts for the event. Ctrl+C and Ctrl+Break
// (once the console is back in processed mode) end playback through the
// normal shutdown; a second one ends the process at once. Closing the
// console window does the normal shutdown while the system waits.
BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (g_stop_requests.fetch_add(1) > 0) ExitProcess(0);
      StopKeyWait();
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      StopKeyWait();
      Sleep(INFINITE);  // the main thread ends the process
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void InstallStopHandlers() {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void HoldKeysForTheKeyReader() {}

void EndProcess(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  ExitProcess(static_cast<UINT>(status));
}

}  // namespace opl2
