// The library ring and the calls by name, the same on every system;
// library_binding.h holds how each finds libraries and routines.
#include "timer/library_call.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "timer/library_binding.h"
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

// Looks up `prefix``suffix`; a name that does not fit the buffer is not looked up.
const void* FindRoutineAs(void* library, const char* prefix, const char* suffix) {
  char name[kNameBufferSize];
  const int len = std::snprintf(name, sizeof(name), "%s%s", prefix, suffix);
  if (len < 0 || len >= kNameBufferSize) return nullptr;
  return LookUpRoutine(library, name);
}

const void* FindRoutine(void* library, const char* function_name) {
  if (const void* routine = LookUpRoutine(library, function_name)) return routine;
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
  if (slot != nullptr) CloseLibrary(slot);
  slot = OpenLibrary(library_name);
  return slot;
}

void FreeRingLibraries() {
  std::lock_guard lock(g_ring_mutex);
  for (int i = LibraryRing::kSlots - 1; i >= 0; --i) {
    if (g_ring.handles[i] != nullptr) CloseLibrary(g_ring.handles[i]);
    g_ring.handles[i] = nullptr;
  }
}

int32_t CallLibraryFunctionWords(const char* function_name, const char* library_name,
                                 std::span<const uintptr_t> values) {
  if (function_name == nullptr || values.size() > kMaxLibraryCallValues) return 0;
  FoundLibrary library = FindLoadedLibrary(library_name);
  if (library.handle == nullptr) library = {LoadRingLibrary(library_name), false};
  if (library.handle == nullptr) return 0;

  int32_t result = 0;
  if (const void* routine = FindRoutine(library.handle, function_name)) {
    result = CallWithStackWords(routine, values.data(), static_cast<int>(values.size()));
  }
  if (library.owned) CloseLibrary(library.handle);
  return result;
}

}  // namespace opl2
