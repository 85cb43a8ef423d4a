#include "jukebox/playlist.h"

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace opl2::jukebox {
namespace {

namespace fs = std::filesystem;

constexpr char kSongFormatId = 2;

bool StartsLikeASong(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char first = 0;
  return in.get(first) && first == kSongFormatId;
}

void AddDirectory(const std::string& name, Playlist* list) {
  std::vector<std::string> found;
  std::error_code error;
  for (fs::directory_iterator it(name, error), end; !error && it != end; it.increment(error)) {
    std::error_code kind_error;
    if (it->is_regular_file(kind_error) && StartsLikeASong(it->path())) {
      found.push_back(it->path().string());
    }
  }
  if (error) {
    list->notes.push_back(name + ": cannot read the directory (" + error.message() + ")");
    return;
  }
  if (found.empty()) {
    list->notes.push_back(name + ": no song files in the directory");
    return;
  }
  std::sort(found.begin(), found.end());
  list->paths.insert(list->paths.end(), found.begin(), found.end());
}

bool IsPattern(const std::string& name) {
  return name.find_first_of("*?[") != std::string::npos;
}

void AddPattern(const std::string& name, Playlist* list) {
  glob_t matches{};
  const int result = glob(name.c_str(), 0, nullptr, &matches);
  size_t added = 0;
  if (result == 0) {
    for (size_t i = 0; i < matches.gl_pathc; ++i) {
      struct stat st {};
      const char* path = matches.gl_pathv[i];
      if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
        AddDirectory(path, list);
      } else {
        list->paths.push_back(path);
      }
      ++added;
    }
  }
  globfree(&matches);
  if (added == 0) list->notes.push_back(name + ": no file matches");
}

}  // namespace

Playlist ExpandPlaylist(const std::vector<std::string>& names) {
  Playlist list;
  for (const std::string& name : names) {
    struct stat st {};
    if (stat(name.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        AddDirectory(name, &list);
      } else {
        list.paths.push_back(name);
      }
    } else if (IsPattern(name)) {
      AddPattern(name, &list);
    } else {
      list.paths.push_back(name);  // its turn tells what is wrong with it
    }
  }
  return list;
}

void Shuffle(Playlist* list, std::mt19937* random) {
  std::shuffle(list->paths.begin(), list->paths.end(), *random);
}

}  // namespace opl2::jukebox
