// The library binding on Windows: the shared cases (tests/timer/
// library_call_cases.cpp) against LoadLibraryA, GetModuleHandleA and
// GetProcAddress, and calls of routines of both calling conventions.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

#include "timer/library_call.h"
#include "timer/library_call_cases.h"

namespace opl2 {
namespace test {

const char kNamesLibrary[] = "opl2_call_names.dll";
const char kTimerLibrary[] = "X68Sound.dll";

bool IsLoaded(const char* library) {
  return GetModuleHandleA(library) != nullptr;
}

Recorded RecordedByNamesLibrary() {
  const HMODULE library = GetModuleHandleA(kNamesLibrary);
  if (library == nullptr) return {nullptr, nullptr};
  return {reinterpret_cast<const uintptr_t*>(GetProcAddress(library, "recorded_values")),
          reinterpret_cast<const int32_t*>(GetProcAddress(library, "recorded_count"))};
}

}  // namespace test

namespace {

using test::kNamesLibrary;
using test::Recorded;
using test::RecordedByNamesLibrary;

// The stack pointer where the test stands; a call that left it elsewhere
// has lost or kept words it should not have.
#if defined(__i386__)
#define READ_STACK_POINTER(var) asm volatile("movl %%esp, %0" : "=r"(var))
#else
#define READ_STACK_POINTER(var) var = 0
#endif

TEST(LibraryCallWin32, BothCallingConventionsGetTheirValuesInOrderAndKeepTheStack) {
  ASSERT_EQ(CallLibraryFunction("OnlyPlain", kNamesLibrary), 1);  // loads the library
  const Recorded recorded = RecordedByNamesLibrary();
  ASSERT_NE(recorded.values, nullptr);
  for (int round = 0; round < 1000; ++round) {
    const uintptr_t base = static_cast<uintptr_t>(round) * 16;
    uintptr_t before = 0;
    uintptr_t after = 0;

    READ_STACK_POINTER(before);
    const int32_t std7 = CallLibraryFunction("RecordStd7", kNamesLibrary, base + 1, base + 2,
                                             base + 3, base + 4, base + 5, base + 6, base + 7);
    READ_STACK_POINTER(after);
    ASSERT_EQ(std7, 7007);
    ASSERT_EQ(after, before) << "after a routine that removes its own values";
    for (int i = 0; i < 7; ++i) ASSERT_EQ(recorded.values[i], base + 1 + i);

    READ_STACK_POINTER(before);
    const int32_t cdecl7 = CallLibraryFunction("RecordCdecl7", kNamesLibrary, base + 9, base + 8,
                                               base + 7, base + 6, base + 5, base + 4, base + 3);
    READ_STACK_POINTER(after);
    ASSERT_EQ(cdecl7, 7000);
    ASSERT_EQ(after, before) << "after a routine that leaves its values to the caller";
    for (int i = 0; i < 7; ++i) ASSERT_EQ(recorded.values[i], base + 9 - i);
  }

  EXPECT_EQ(CallLibraryFunction("RecordStd12", kNamesLibrary, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u,
                                10u, 11u, 0xFFFFFFFFu),
            12012);
  EXPECT_EQ(*recorded.count, 12);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(recorded.values[i], static_cast<uintptr_t>(i + 1));
  EXPECT_EQ(recorded.values[11], 0xFFFFFFFFu);
  EXPECT_EQ(CallLibraryFunction("RecordStd0", kNamesLibrary), 100);
  EXPECT_EQ(*recorded.count, 0);
}

TEST(LibraryCallWin32, TheTimerLibraryExportsItsRoutinesUnderTheirPlainNames) {
  const HMODULE library = LoadLibraryA("X68Sound.dll");
  ASSERT_NE(library, nullptr);
  for (const char* name : {"X68Sound_OpmClock", "X68Sound_Start", "X68Sound_OpmInt",
                           "X68Sound_OpmReg", "X68Sound_OpmPoke", "X68Sound_Free"}) {
    EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
  }
  FreeLibrary(library);
}

}  // namespace
}  // namespace opl2
