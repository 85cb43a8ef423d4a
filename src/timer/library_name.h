// Turns a library file name as the player passes it ("X68Sound.dll") into the
// places this platform looks for it.
#pragma once

#include <cstddef>

namespace opl2 {

// The file that stands for the OPM timer library on this platform.
inline constexpr char kTimerLibraryFile[] = "libx68sound.so";

// Up to two names to hand to the dynamic loader, most preferred first.
struct LibraryCandidates {
  static constexpr size_t kPathSize = 4096;
  char paths[2][kPathSize];
  int count;
};

// True when `library_name` is the timer library's name, in any letter case.
bool IsTimerLibraryName(const char* library_name);

// "X68Sound.dll" in any case becomes libx68sound.so beside the running
// executable, then libx68sound.so wherever the loader looks; any other name is
// passed on unchanged. Names that do not fit are dropped.
void ResolveLibraryName(const char* library_name, LibraryCandidates& out);

}  // namespace opl2
