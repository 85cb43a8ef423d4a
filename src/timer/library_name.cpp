#include "timer/library_name.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace opl2 {
namespace {

struct ExecutableDir {
  char path[LibraryCandidates::kPathSize];
  bool known;
};

// The directory of /proc/self/exe, read once: the executable does not move.
const ExecutableDir& TheExecutableDir() {
  static const ExecutableDir dir = [] {
    ExecutableDir d{};
    const ssize_t len = readlink("/proc/self/exe", d.path, sizeof(d.path) - 1);
    if (len <= 0) return d;
    d.path[len] = '\0';
    char* slash = std::strrchr(d.path, '/');
    if (slash == nullptr) return d;
    slash[1] = '\0';  // keep the trailing slash
    d.known = true;
    return d;
  }();
  return dir;
}

void AddCandidate(LibraryCandidates& out, const char* first, const char* second) {
  const int len =
      std::snprintf(out.paths[out.count], LibraryCandidates::kPathSize, "%s%s", first, second);
  if (len >= 0 && static_cast<size_t>(len) < LibraryCandidates::kPathSize) ++out.count;
}

}  // namespace

bool IsTimerLibraryName(const char* library_name) {
  return library_name != nullptr && strcasecmp(library_name, "x68sound.dll") == 0;
}

void ResolveLibraryName(const char* library_name, LibraryCandidates& out) {
  out.count = 0;
  if (library_name == nullptr || library_name[0] == '\0') return;
  if (!IsTimerLibraryName(library_name)) {
    AddCandidate(out, library_name, "");
    return;
  }
  const ExecutableDir& dir = TheExecutableDir();
  if (dir.known) AddCandidate(out, dir.path, kTimerLibraryFile);
  AddCandidate(out, kTimerLibraryFile, "");
}

}  // namespace opl2
