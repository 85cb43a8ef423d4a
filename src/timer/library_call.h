// Calls a routine of a run-time loaded library by name, passing machine words.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <type_traits>

namespace opl2 {

// Handles of the libraries loaded through LoadRingLibrary. The slot index
// advances before each load, so the first load takes slot 1.
struct LibraryRing {
  static constexpr int kSlots = 256;
  void* handles[kSlots];
  int32_t last_slot;
  int32_t release_registered;
};

// The largest number of values one call can pass.
inline constexpr int kMaxLibraryCallValues = 12;

// The process's ring. Read it only while no call is loading a library.
const LibraryRing& TheLibraryRing();

// Loads `library_name` into the next ring slot (releasing what that slot held)
// and returns the handle, or nullptr when it cannot be loaded. The first load
// registers FreeRingLibraries to run at process exit.
void* LoadRingLibrary(const char* library_name);

// Releases every ring slot, 255 down to 0.
void FreeRingLibraries();

// Finds `library_name` (already loaded, else loaded into the ring), finds its
// routine `function_name`, else `function_name`A, else _`function_name`, and
// calls it with `values` as its arguments, first value first. Returns the
// routine's int result, or 0 when no routine was called (library or routine
// missing, or more than kMaxLibraryCallValues values). Nothing is cached and
// nothing is allocated; safe to call from several threads at once.
int32_t CallLibraryFunctionWords(const char* function_name, const char* library_name,
                                 std::span<const uintptr_t> values);

// Any integer, enum or pointer (function addresses included) as one machine word.
template <typename T>
requires std::is_integral_v<T> || std::is_enum_v<T> || std::is_pointer_v<T> uintptr_t
ToLibraryWord(T value) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<uintptr_t>(value);
  } else {
    return static_cast<uintptr_t>(value);
  }
}

// CallLibraryFunction("X68Sound_OpmPoke", "x68sound.dll", 0x2A): the values
// travel in a block on the caller's stack.
template <typename... Values>
int32_t CallLibraryFunction(const char* function_name, const char* library_name, Values... values) {
  const std::array<uintptr_t, sizeof...(Values)> block{ToLibraryWord(values)...};
  return CallLibraryFunctionWords(function_name, library_name,
                                  std::span<const uintptr_t>(block.data(), block.size()));
}

}  // namespace opl2
