// The library binding on Windows, by the platform's own rules: a library
// already in the process is found by its file name in any letter case
// (GetModuleHandleA), a new one is loaded by the system's search order
// (LoadLibraryA: the program's folder first), and routines are looked up by
// their exported names (GetProcAddress).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "timer/library_call.h"
#include "timer/stack_call.h"

namespace opl2 {
namespace {

static_assert(kMaxLibraryCallValues == kMaxStackCallWords);

LibraryRing g_ring{};
// Guards g_ring. Only loads and the exit-time release take it; a call into a
// library that is already loaded never does.
std::mutex g_ring_mutex;

// The routine-name buffer: "%s%s" must fit with its terminator.
constexpr int kNameBufferSize = 256;

const void* Address(FARPROC routine) {
  return reinterpret_cast<const void*>(routine);
}

// Looks up `prefix``suffix`; a name that does not fit the buffer is not looked up.
const void* FindRoutineAs(HMODULE library, const char* prefix, const char* suffix) {
  char name[kNameBufferSize];
  const int len = std::snprintf(name, sizeof(name), "%s%s", prefix, suffix);
  if (len < 0 || len >= kNameBufferSize) return nullptr;
  return Address(GetProcAddress(library, name));
}

const void* FindRoutine(HMODULE library, const char* function_name) {
  if (const void* routine = Address(GetProcAddress(library, function_name))) return routine;
  if (const void* routine = FindRoutineAs(library, function_name, "A")) return routine;
  return FindRoutineAs(library, "_", function_name);
}

}  // namespace

const LibraryRing& TheLibraryRing() {
  return g_ring;
}

void* LoadRingLibrary(const char* library_name) {
  std::lock_guard lock(g_ring_mutex);
  if (g_ring.release_registered == 0 && std::atexit(FreeRingLibraries) == 0) {
    g_ring.release_registered = 1;
  }
  g_ring.last_slot = (g_ring.last_slot + 1) % LibraryRing::kSlots;
  void*& slot = g_ring.handles[g_ring.last_slot];
  if (slot != nullptr) FreeLibrary(static_cast<HMODULE>(slot));
  slot = library_name != nullptr ? LoadLibraryA(library_name) : nullptr;
  return slot;
}

void FreeRingLibraries() {
  std::lock_guard lock(g_ring_mutex);
  for (int i = LibraryRing::kSlots - 1; i >= 0; --i) {
    if (g_ring.handles[i] != nullptr) FreeLibrary(static_cast<HMODULE>(g_ring.handles[i]));
    g_ring.handles[i] = nullptr;
  }
}

int32_t CallLibraryFunctionWords(const char* function_name, const char* library_name,
                                 std::span<const uintptr_t> values) {
  if (function_name == nullptr || library_name == nullptr ||
      values.size() > kMaxLibraryCallValues) {
    return 0;
  }
  HMODULE library = GetModuleHandleA(library_name);
  if (library == nullptr) library = static_cast<HMODULE>(LoadRingLibrary(library_name));
  if (library == nullptr) return 0;
  const void* routine = FindRoutine(library, function_name);
  if (routine == nullptr) return 0;
  return CallWithStackWords(routine, values.data(), static_cast<int>(values.size()));
}

}  // namespace opl2
