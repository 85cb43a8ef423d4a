#include "songfile/song_file.h"

#include "song/song_parser.h"
#include "songfile/song_file_reader.h"

namespace opl2 {

LoadResult LoadSongFile(const char* path, Song& song) {
  SongFileReader file;
  if (!file.Open(path)) return LoadResult::kCannotOpen;
  return ParseSong(file, song);
}

bool ReadSongFile(const char* path, std::vector<uint8_t>* bytes) {
  SongFileReader file;
  return file.Open(path) && file.ReadAll(bytes);
}

LoadResult SongFileStart::ReadSong(const Song*& song) {
  const LoadResult result = LoadSongFile(path_, storage_);
  song = &storage_;
  return result;
}

LoadResult StartSongFile(Engine& engine, Song& storage, const char* path) {
  SongFileStart hooks(path, storage);
  return StartSong(engine, hooks);
}

}  // namespace opl2
