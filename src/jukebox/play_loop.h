// The player's main thread: keys in, the session, the screen out (or one
// line per song), until the list ends or the listener quits.
#pragma once

#include "jukebox/play_session.h"

namespace opl2::jukebox {

struct LoopSetup {
  bool keys = false;    // standard input is a terminal: read keys from it
  bool screen = false;  // standard output is a terminal: show the full screen
};

// Returns the exit status: the session's at the end of the list or after
// q / Escape, 130 after Ctrl+C, 128 + the signal after SIGINT, SIGTERM or
// SIGHUP. Notes on skipped files go to standard error (after the screen is
// gone, when there is one); song lines go to standard output when there is
// no screen.
int RunPlayLoop(PlaySession& session, const LoopSetup& setup);

}  // namespace opl2::jukebox
