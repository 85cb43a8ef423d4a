// Reads a song file's bytes into a Song: the header, the bank and the nine
// tracks. Reading touches nothing else: programming the chip and setting up
// the channels is the start-up's work (sequencer/song_start.h).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

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

// The same for a file, opened for reading only and read through absolute
// offsets, so a file of any size loads in a small window of memory.
// kCannotOpen for anything that cannot be read as a regular file; the caller
// reports it ("Can't open file %s\n", status 1).
LoadResult LoadSongFile(const char* path, Song& song);

// The bytes of a song file, opened as LoadSongFile opens it. False for a
// file that cannot be read.
bool ReadSongFile(const char* path, std::vector<uint8_t>* bytes);

}  // namespace opl2
