// Reads a song file's bytes into a Song: the header, the bank and the nine
// tracks. Reading touches nothing else: programming the chip and setting up
// the channels is the start-up's work (sequencer/song_start.h). Songs in
// files are read by the adapter in src/songfile.
#pragma once

#include <cstdint>
#include <span>

#include "song/song.h"

namespace opl2 {

enum class LoadResult {
  kLoaded,      // header, bank and tracks read
  kNotASong,    // format id other than 2 (an empty file included): nothing changed
  kCannotOpen,  // missing, unreadable, or not a regular file
};

// Every offset at or past the end of `bytes` reads as -1. On kLoaded `song`
// holds the file's bank over a zero bank with the built-in patch 0, and each
// track followed by zeros; on kNotASong it is left as it was.
LoadResult LoadSong(std::span<const uint8_t> bytes, Song& song);

}  // namespace opl2
