// Songs in files: the path in front of the loader, and the player's
// start-up that reads its song from a file. This is the platform's part of
// loading (POSIX here); the core reads songs from bytes only.
#pragma once

#include <cstdint>
#include <vector>

#include "sequencer/song_start.h"
#include "song/song_loader.h"

namespace opl2 {

// LoadSong for a file, opened for reading only and read through absolute
// offsets, so a file of any size loads in a small window of memory.
// kCannotOpen for anything that cannot be read as a regular file (missing,
// no permission, a directory, a FIFO, a device); the caller reports it
// ("Can't open file %s\n", status 1).
LoadResult LoadSongFile(const char* path, Song& song);

// The bytes of a song file, opened as LoadSongFile opens it. False for a
// file that cannot be read.
bool ReadSongFile(const char* path, std::vector<uint8_t>* bytes);

// The start-up reading the song from a file into `storage` (the player's).
class SongFileStart : public SongStartHooks {
 public:
  SongFileStart(const char* path, Song& storage) : path_(path), storage_(storage) {}
  LoadResult ReadSong(const Song*& song) override;

 private:
  const char* path_;
  Song& storage_;
};

// StartSong with a SongFileStart.
LoadResult StartSongFile(Engine& engine, Song& storage, const char* path);

}  // namespace opl2
