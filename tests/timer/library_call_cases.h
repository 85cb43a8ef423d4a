// What the library-call cases every system runs (library_call_cases.cpp)
// take from that system's own test file.
#pragma once

#include <cstdint>

namespace opl2::test {

// The test library of routines under decorated names, and the timer
// library, each as CallLibraryFunction and IsLoaded take it.
extern const char kNamesLibrary[];
extern const char kTimerLibrary[];

// True while the process has `library` loaded.
bool IsLoaded(const char* library);

// The test library's record of the last call of a recording routine.
struct Recorded {
  const uintptr_t* values;
  const int32_t* count;
};
Recorded RecordedByNamesLibrary();

}  // namespace opl2::test
