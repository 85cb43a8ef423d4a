#include "timer/library_call.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace opl2 {
namespace {

constexpr char kNamesLibrary[] = OPL2_BIN_DIR "/libopl2_call_names.so";
constexpr char kTimerLibrary[] = OPL2_BIN_DIR "/libx68sound.so";
constexpr char kMissingLibrary[] = "opl2-no-such-library.dll";

bool IsLoaded(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

// The test library's record of the last Record call.
struct Recorded {
  const uintptr_t* values;
  const int32_t* count;
};

Recorded RecordedByNamesLibrary() {
  void* handle = dlopen(kNamesLibrary, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(handle, nullptr);
  if (handle == nullptr) return {nullptr, nullptr};
  Recorded recorded{static_cast<const uintptr_t*>(dlsym(handle, "recorded_values")),
                    static_cast<const int32_t*>(dlsym(handle, "recorded_count"))};
  dlclose(handle);  // the ring keeps it loaded
  return recorded;
}

// Checks that run in a fresh process, where the ring is as at start-up. A
// failed check ends the child with its message on standard error.
void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "failed: %s\n", what);
  std::_Exit(1);
}

class LibraryRingTest : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(LibraryRingTest, ARunWithoutTheLibraryTakesSlotsOneToEightAndCallsNothing) {
  EXPECT_EXIT(
      {
        const LibraryRing& ring = TheLibraryRing();
        Require(ring.last_slot == 0 && ring.release_registered == 0, "ring starts empty");
        for (int call = 1; call <= 8; ++call) {
          Require(CallLibraryFunction("X68Sound_OpmPoke", kMissingLibrary, 0x2A) == 0,
                  "missing library gives 0");
          Require(ring.last_slot == call, "each call loads into the next slot");
          Require(ring.handles[call] == nullptr, "a failed load leaves the slot empty");
        }
        Require(ring.release_registered == 1, "release registered at the first load");
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(LibraryRingTest, EachLibraryIsLoadedOnceAndBothTimerLibraryNamesFindOneLoad) {
  EXPECT_EXIT(
      {
        const LibraryRing& ring = TheLibraryRing();
        Require(CallLibraryFunction("OnlyPlain", kNamesLibrary) == 1, "first call reaches it");
        Require(ring.last_slot == 1 && ring.handles[1] != nullptr, "first load in slot 1");
        Require(CallLibraryFunction("OnlyPlain", kNamesLibrary) == 1, "second call reaches it");
        Require(ring.last_slot == 1, "an already loaded library is not loaded again");

        CallLibraryFunction("X68Sound_OpmReg", "x68sound.dll", 0x12);
        Require(ring.last_slot == 2 && ring.handles[2] != nullptr, "timer library in slot 2");
        Require(IsLoaded(kTimerLibrary), "the copy beside the executable is the one loaded");
        CallLibraryFunction("X68Sound_OpmReg", "X68Sound.dll", 0x12);
        CallLibraryFunction("X68Sound_OpmReg", "X68SOUND.DLL", 0x12);
        Require(ring.last_slot == 2, "every letter case finds the loaded timer library");
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(LibraryRingTest, ReusedSlotsAndTheExitTimeReleaseUnloadTheirLibraries) {
  EXPECT_EXIT(
      {
        const LibraryRing& ring = TheLibraryRing();
        CallLibraryFunction("OnlyPlain", kNamesLibrary);
        Require(ring.last_slot == 1 && IsLoaded(kNamesLibrary), "loaded into slot 1");
        for (int i = 0; i < LibraryRing::kSlots - 1; ++i) {
          CallLibraryFunction("Anything", kMissingLibrary);
        }
        Require(ring.last_slot == 0, "the slot index wraps to 0 after 255");
        Require(IsLoaded(kNamesLibrary), "slot 1 is not reused yet");
        CallLibraryFunction("Anything", kMissingLibrary);
        Require(ring.last_slot == 1 && ring.handles[1] == nullptr, "slot 1 reused");
        Require(!IsLoaded(kNamesLibrary), "its library was released");
        Require(CallLibraryFunction("OnlyPlain", kNamesLibrary) == 1, "loaded again on use");
        Require(ring.last_slot == 2, "into the next slot");

        FreeRingLibraries();
        for (void* handle : ring.handles) Require(handle == nullptr, "every slot empty");
        Require(!IsLoaded(kNamesLibrary), "released at exit");
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LibraryCallTest, RoutinesAreFoundUnderTheirThreeNamesInOrder) {
  EXPECT_EQ(CallLibraryFunction("OnlyPlain", kNamesLibrary), 1);
  EXPECT_EQ(CallLibraryFunction("OnlySuffix", kNamesLibrary), 2);
  EXPECT_EQ(CallLibraryFunction("OnlyPrefix", kNamesLibrary), 3);
  EXPECT_EQ(CallLibraryFunction("Both", kNamesLibrary), 10);    // plain before "A"
  EXPECT_EQ(CallLibraryFunction("Either", kNamesLibrary), 21);  // "A" before "_"
}

TEST(LibraryCallTest, AMissingRoutineCallsNothingAndLoadsNothingMore) {
  CallLibraryFunction("OnlyPlain", kNamesLibrary);
  const int32_t slot = TheLibraryRing().last_slot;
  EXPECT_EQ(CallLibraryFunction("NotThere", kNamesLibrary, 1, 2), 0);
  EXPECT_EQ(CallLibraryFunction("", kNamesLibrary), 0);
  EXPECT_EQ(TheLibraryRing().last_slot, slot);
}

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
