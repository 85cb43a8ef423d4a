// The cases of CallLibraryFunction and the library ring that hold on every
// system, against the test library of routine names: compiled into the
// Linux and the Windows test programs alike.
#include "timer/library_call_cases.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "timer/library_call.h"

namespace opl2 {
namespace {

using test::IsLoaded;
using test::kNamesLibrary;
using test::kTimerLibrary;

constexpr char kMissingLibrary[] = "opl2-no-such-library.dll";

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

TEST_F(LibraryRingTest, MissingLibrariesTakeSlotsAndEachLibraryIsLoadedOnceUntilReleased) {
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

        Require(CallLibraryFunction("OnlyPlain", kNamesLibrary) == 1, "first call reaches it");
        Require(ring.last_slot == 9 && ring.handles[9] != nullptr, "loaded into slot 9");
        Require(CallLibraryFunction("OnlyPlain", kNamesLibrary) == 1, "second call reaches it");
        Require(ring.last_slot == 9, "an already loaded library is not loaded again");

        CallLibraryFunction("X68Sound_OpmReg", "x68sound.dll", 0x12);
        Require(ring.last_slot == 10 && ring.handles[10] != nullptr, "timer library in slot 10");
        Require(IsLoaded(kTimerLibrary), "the copy beside the program is the one loaded");
        CallLibraryFunction("X68Sound_OpmReg", "X68Sound.dll", 0x12);
        CallLibraryFunction("X68Sound_OpmReg", "X68SOUND.DLL", 0x12);
        Require(ring.last_slot == 10, "every letter case finds the loaded timer library");

        FreeRingLibraries();
        for (void* handle : ring.handles) Require(handle == nullptr, "every slot empty");
        Require(!IsLoaded(kTimerLibrary) && !IsLoaded(kNamesLibrary), "released");
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(LibraryRingTest, ReusedSlotsUnloadTheirLibraries) {
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
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LibraryCallTest, RoutinesAreFoundUnderTheirThreeNamesInOrderOrNotCalled) {
  EXPECT_EQ(CallLibraryFunction("OnlyPlain", kNamesLibrary), 1);
  EXPECT_EQ(CallLibraryFunction("OnlySuffix", kNamesLibrary), 2);
  EXPECT_EQ(CallLibraryFunction("OnlyPrefix", kNamesLibrary), 3);
  EXPECT_EQ(CallLibraryFunction("Both", kNamesLibrary), 10);    // plain before "A"
  EXPECT_EQ(CallLibraryFunction("Either", kNamesLibrary), 21);  // "A" before "_"

  // A missing routine calls nothing and loads nothing more.
  const int32_t slot = TheLibraryRing().last_slot;
  EXPECT_EQ(CallLibraryFunction("NotThere", kNamesLibrary, 1, 2), 0);
  EXPECT_EQ(CallLibraryFunction("", kNamesLibrary), 0);
  EXPECT_EQ(TheLibraryRing().last_slot, slot);
}

}  // namespace
}  // namespace opl2
