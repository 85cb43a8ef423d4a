#include <windows.h>

#include <cstring>

#include "player/file_exists.h"
#include "player/song_file_name.h"

namespace opl2 {

int FileExists(const char* name) {
  if (name == nullptr || strnlen(name, kSongFileNameSize) >= kSongFileNameSize) return 0;
  if (std::strpbrk(name, "*?") != nullptr) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(name, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    return 1;
  }
  return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

}  // namespace opl2
