// The POSIX library binding: dlopen, with the timer library's name turned
// into the file names it may have here (library_name.h), and dlsym.
#include "timer/library_binding.h"

#include <dlfcn.h>

#include "timer/library_name.h"

namespace opl2 {

FoundLibrary FindLoadedLibrary(const char* library_name) {
  LibraryCandidates candidates;
  ResolveLibraryName(library_name, candidates);
  for (int i = 0; i < candidates.count; ++i) {
    // RTLD_NOLOAD hands back an already loaded library and counts one more
    // reference to it, which keeps it mapped while its routine runs.
    void* handle = dlopen(candidates.paths[i], RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) return {handle, true};
  }
  return {};
}

void* OpenLibrary(const char* library_name) {
  LibraryCandidates candidates;
  ResolveLibraryName(library_name, candidates);
  for (int i = 0; i < candidates.count; ++i) {
    void* handle = dlopen(candidates.paths[i], RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) return handle;
  }
  return nullptr;
}

void CloseLibrary(void* library) {
  dlclose(library);
}

const void* LookUpRoutine(void* library, const char* name) {
  return dlsym(library, name);
}

}  // namespace opl2
