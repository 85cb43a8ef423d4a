#include "player/song_file_name.h"

#include <algorithm>

namespace opl2 {

bool StoreSongFileName(std::string_view name, SongFileName& song_file_name) {
  song_file_name[0] = '\0';
  if (name.size() >= kSongFileNameSize) return false;
  if (name.find('\0') != std::string_view::npos) return false;
  std::copy(name.begin(), name.end(), song_file_name.begin());
  song_file_name[name.size()] = '\0';
  return true;
}

}  // namespace opl2
