// The start-up every run shares, up to the first arming of Timer B: tuning,
// Timer B value 180, chip reset, song load, playing, first arming. Tools that
// drive the engine with a virtual timer start a song through this.
#pragma once

#include "song/song_loader.h"

namespace opl2 {

// On kCannotOpen nothing after the chip reset has happened.
LoadResult StartSong(Engine& engine, const char* song_file_name);

}  // namespace opl2
