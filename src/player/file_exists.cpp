#include "player/file_exists.h"

#include <glob.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "player/song_file_name.h"

namespace opl2 {
namespace {

bool IsPattern(const char* name) {
  return std::strpbrk(name, "*?") != nullptr;
}

// glob(3) knows more wildcards than "*" and "?"; escape the others so they
// stand for themselves.
std::string GlobPatternFor(const char* name) {
  std::string pattern;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '[' || *p == ']' || *p == '\\') pattern += '\\';
    pattern += *p;
  }
  return pattern;
}

bool PatternMatches(const char* name) {
  int flags = GLOB_NOSORT;
#ifdef GLOB_PERIOD
  flags |= GLOB_PERIOD;
#endif
  glob_t found{};
  const int result = glob(GlobPatternFor(name).c_str(), flags, nullptr, &found);
  const bool matched = result == 0 && found.gl_pathc > 0;
  globfree(&found);
  return matched;
}

bool EntryExists(const char* name) {
  struct stat info {};
  return lstat(name, &info) == 0;
}

}  // namespace

int FileExists(const char* name) {
  if (name == nullptr || name[0] == '\0') return 0;
  if (strnlen(name, kSongFileNameSize) >= kSongFileNameSize) return 0;
  if (IsPattern(name)) return PatternMatches(name) ? 1 : 0;
  return EntryExists(name) ? 1 : 0;
}

}  // namespace opl2
