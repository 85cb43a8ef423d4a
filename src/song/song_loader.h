// Reads a song file into the instrument bank, the track buffers and the
// channel state, programming the built-in patch into every channel on the way.
#pragma once

#include "sequencer/channel_state.h"

namespace opl2 {

enum class LoadResult {
  kLoaded,      // header, bank and tracks read
  kNotASong,    // format id other than 2 (an empty file included): nothing changed
  kCannotOpen,  // missing, unreadable, or not a regular file
};

// The song file is opened for reading only and read through absolute offsets:
// any offset outside the file (before its start or at or past its end) reads
// as -1. The caller reports kCannotOpen ("Can't open file %s\n", status 1).
LoadResult LoadSong(Engine& engine, const char* song_file_name);

}  // namespace opl2
