// The library binding on Linux: the shared cases (library_call_cases.cpp)
// and those of routines only the Linux test library has.
#include "timer/library_call.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "timer/library_call_cases.h"

namespace opl2 {
namespace test {

const char kNamesLibrary[] = OPL2_BIN_DIR "/libopl2_call_names.so";
const char kTimerLibrary[] = OPL2_BIN_DIR "/libx68sound.so";

bool IsLoaded(const char* library) {
  void* handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

Recorded RecordedByNamesLibrary() {
  void* handle = dlopen(kNamesLibrary, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(handle, nullptr);
  if (handle == nullptr) return {nullptr, nullptr};
  Recorded recorded{static_cast<const uintptr_t*>(dlsym(handle, "recorded_values")),
                    static_cast<const int32_t*>(dlsym(handle, "recorded_count"))};
  dlclose(handle);  // the ring keeps it loaded
  return recorded;
}

}  // namespace test

namespace {

using test::kNamesLibrary;
using test::Recorded;
using test::RecordedByNamesLibrary;

TEST(LibraryCallTest, DecoratedNamesThatDoNotFitTheBufferAreNotLookedUp) {
  // "_" + 253 "L"s is exported: the decorated form of a 253-character name.
  EXPECT_EQ(CallLibraryFunction(std::string(253, 'L').c_str(), kNamesLibrary), 254);
  // "_" + 254 "L"s fits the 256-character buffer with its terminator.
  EXPECT_EQ(CallLibraryFunction(std::string(254, 'L').c_str(), kNamesLibrary), 255);
  // "_" + 255 "L"s does not fit; cut short it would name the routine above.
  EXPECT_EQ(CallLibraryFunction(std::string(255, 'L').c_str(), kNamesLibrary), 0);
}

TEST(LibraryCallTest, UpToTwelveValuesArriveInOrderAsFullMachineWords) {
  int local = 0;
  const uintptr_t address = reinterpret_cast<uintptr_t>(&local);
  EXPECT_EQ(CallLibraryFunction("Record12", kNamesLibrary, 11025, 1, 0, 3, 5, 200, 1, 8u, 9u, 10u,
                                UINTPTR_MAX, &local),
            112);
  const Recorded recorded = RecordedByNamesLibrary();
  ASSERT_NE(recorded.values, nullptr);
  ASSERT_NE(recorded.count, nullptr);
  EXPECT_EQ(*recorded.count, 12);
  const uintptr_t expected[] = {11025, 1, 0, 3, 5, 200, 1, 8, 9, 10, UINTPTR_MAX, address};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(recorded.values[i], expected[i]) << "value " << i + 1;

  EXPECT_EQ(CallLibraryFunction("Record0", kNamesLibrary), 100);
  EXPECT_EQ(*recorded.count, 0);

  const uintptr_t thirteen[13] = {};
  EXPECT_EQ(CallLibraryFunctionWords("Record12", kNamesLibrary, thirteen), 0);
  EXPECT_EQ(*recorded.count, 0);  // not called
}

TEST(LibraryCallTest, TwoThreadsCallingAtOnceEachGetTheirOwnResults) {
  constexpr int kCalls = 4000;
  auto caller = [](uintptr_t seed, int* wrong) {
    for (int i = 0; i < kCalls; ++i) {
      const uintptr_t a = seed + i;
      const uintptr_t b = seed * 2 + i;
      const uintptr_t c = i;
      if (CallLibraryFunction("Mix", kNamesLibrary, a, b, c) !=
          static_cast<int32_t>(a * 3 + b * 5 + c * 7)) {
        ++*wrong;
      }
      // A lookup that fails, as a missing routine does, in between.
      if (CallLibraryFunction("NotThere", kNamesLibrary, a) != 0) ++*wrong;
    }
  };
  int wrong_first = 0;
  int wrong_second = 0;
  std::thread first(caller, 1000, &wrong_first);
  std::thread second(caller, 5000000, &wrong_second);
  first.join();
  second.join();
  EXPECT_EQ(wrong_first, 0);
  EXPECT_EQ(wrong_second, 0);
}

}  // namespace
}  // namespace opl2
