// How each system finds a run-time library and the routines in it, for
// library_call.cpp.
#pragma once

namespace opl2 {

// A library found already loaded. `owned` is true when the handle is an
// extra reference that the caller drops (CloseLibrary) when it is done.
struct FoundLibrary {
  void* handle = nullptr;
  bool owned = false;
};

// `library_name` when the process has it loaded already; a null handle when
// not (or for a null name).
FoundLibrary FindLoadedLibrary(const char* library_name);

// Loads `library_name`; nullptr when it cannot be loaded (or for a null name).
void* OpenLibrary(const char* library_name);

void CloseLibrary(void* library);

// The routine `library` exports under exactly `name`, or nullptr.
const void* LookUpRoutine(void* library, const char* name);

}  // namespace opl2
