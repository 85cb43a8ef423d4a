// The library binding on Windows, by the platform's own rules: a library
// already in the process is found by its file name in any letter case
// (GetModuleHandleA), a new one is loaded by the system's search order
// (LoadLibraryA: the program's folder first), and routines are looked up by
// their exported names (GetProcAddress).
#include <windows.h>

#include "timer/library_binding.h"

namespace opl2 {

FoundLibrary FindLoadedLibrary(const char* library_name) {
  // GetModuleHandleA(nullptr) would be the program itself.
  if (library_name == nullptr) return {};
  return {GetModuleHandleA(library_name), false};
}

void* OpenLibrary(const char* library_name) {
  return library_name != nullptr ? LoadLibraryA(library_name) : nullptr;
}

void CloseLibrary(void* library) {
  FreeLibrary(static_cast<HMODULE>(library));
}

const void* LookUpRoutine(void* library, const char* name) {
  return reinterpret_cast<const void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace opl2
