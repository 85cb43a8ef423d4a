// The timer library driven the way the player drives it: through
// CallLibraryFunction and the Timer B arm calls. Timing checks here only use
// bounds that a loaded machine cannot break: a tick never comes before its
// deadline, and missed ticks are caught up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "bus/timer_b.h"
#include "timer/library_call.h"
#include "timer/timer_service.h"

namespace opl2 {
namespace {

using std::chrono::milliseconds;

#if defined(__SANITIZE_THREAD__)
constexpr bool kCallsTakeAPeriod = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kCallsTakeAPeriod = true;
#else
constexpr bool kCallsTakeAPeriod = false;
#endif
#else
constexpr bool kCallsTakeAPeriod = false;
#endif

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t PeriodNs(uint8_t n) {
  return static_cast<int64_t>(TimerBPeriodCycles(n)) * 1'000'000'000 / kOpmClockHz;
}

// Whole periods of Timer B that fit in `elapsed_ns`.
int64_t PeriodsIn(int64_t elapsed_ns, uint8_t n) {
  return elapsed_ns * kOpmClockHz / (static_cast<int64_t>(TimerBPeriodCycles(n)) * 1'000'000'000);
}

void WriteOpm(uint32_t reg, uint32_t value) {
  CallLibraryFunction("X68Sound_OpmReg", "x68sound.dll", reg);
  CallLibraryFunction("X68Sound_OpmPoke", "x68sound.dll", value);
}

template <typename Done>
bool WaitFor(Done done, milliseconds limit = milliseconds(5000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

// What the tick routine does and saw. The routine is a plain function, as
// the player's is, so it works on this one record.
struct TickRecord {
  std::atomic<int> count{0};
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int64_t> first_ns{0};
  // Settings for the routine.
  std::atomic<int> rearm_n{-1};      // re-arm with this N, as the player does; -1: no re-arm
  std::atomic<int> long_call_at{0};  // this call (1-based) lasts long_call_ms
  std::atomic<int> long_call_ms{0};
  std::atomic<int64_t> long_call_end_ns{0};
  std::atomic<int> slow_every{0};  // every this many calls, one lasts 1 ms
  std::atomic<int> free_at{0};     // this call frees the library
};

TickRecord g_ticks;

void Tick() {
  if (g_ticks.inside.fetch_add(1) != 0) g_ticks.overlaps.fetch_add(1);
  const int call = g_ticks.count.load() + 1;
  if (call == 1) g_ticks.first_ns = NowNs();
  if (call == g_ticks.long_call_at) {
    std::this_thread::sleep_for(milliseconds(g_ticks.long_call_ms));
    g_ticks.long_call_end_ns = NowNs();
  }
  const int slow_every = g_ticks.slow_every;
  if (slow_every > 0 && call % slow_every == 0) std::this_thread::sleep_for(milliseconds(1));
  if (call == g_ticks.free_at) FreeTimerLibrary();
  const int n = g_ticks.rearm_n;
  if (n >= 0) LibraryTimerB().Arm(static_cast<uint8_t>(n));
  g_ticks.count.fetch_add(1);
  g_ticks.inside.fetch_sub(1);
}

void ResetTicks() {
  g_ticks.count = 0;
  g_ticks.inside = 0;
  g_ticks.overlaps = 0;
  g_ticks.first_ns = 0;
  g_ticks.rearm_n = -1;
  g_ticks.long_call_at = 0;
  g_ticks.long_call_ms = 0;
  g_ticks.long_call_end_ns = 0;
  g_ticks.slow_every = 0;
  g_ticks.free_at = 0;
}

class TimerLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    FreeTimerLibrary();
    ResetTicks();
  }
  void TearDown() override {
    FreeTimerLibrary();
    EXPECT_EQ(g_ticks.overlaps, 0) << "two calls of the tick routine ran at once";
  }

  // The player's start-up: the three start calls, then the first arming.
  int64_t StartAndArm(uint8_t n) {
    StartTimerService(&Tick);
    const int64_t armed_ns = NowNs();
    LibraryTimerB().Arm(n);
    return armed_ns;
  }

  // The count stays where it is for a while.
  void ExpectNoMoreTicks(const char* when) {
    const int count = g_ticks.count;
    std::this_thread::sleep_for(milliseconds(40));
    EXPECT_EQ(g_ticks.count, count) << when;
  }
};

TEST_F(TimerLibraryTest, TimerBOverflowsOncePerPeriodUntilFreed) {
  const int64_t armed_ns = StartAndArm(255);
  std::this_thread::sleep_for(milliseconds(400));
  FreeTimerLibrary();
  const int64_t elapsed_ns = NowNs() - armed_ns;
  const int count = g_ticks.count;

  // Timer B keeps running without a re-arm: 3320 overflows a second at the
  // player's 3.4 MHz clock (the library's own default clock would give more).
  EXPECT_GE(g_ticks.first_ns - armed_ns, PeriodNs(255));
  EXPECT_LE(count, PeriodsIn(elapsed_ns, 255));
  EXPECT_GE(count, PeriodsIn(elapsed_ns, 255) / 2);
  ExpectNoMoreTicks("after X68Sound_Free");
}

// Ticks of the schedule test: the N written in each call and when it came.
constexpr int kPlanTicks = 300;
constexpr uint8_t kPlanN[] = {250, 255, 240};
struct PlanRecord {
  int64_t time_ns[kPlanTicks];
  std::atomic<int> count{0};
};
PlanRecord g_plan;

uint8_t PlannedN(int call) {
  return kPlanN[call % 3];
}

void PlanTick() {
  const int call = g_plan.count;
  if (call >= kPlanTicks) return;
  g_plan.time_ns[call] = NowNs();
  // Two calls that outlast several periods: the ticks they hold up follow at
  // once, and the schedule stays where it was.
  if (call == 50 || call == 150) std::this_thread::sleep_for(milliseconds(60));
  LibraryTimerB().Arm(PlannedN(call));
  g_plan.count = call + 1;
}

TEST_F(TimerLibraryTest, EachCallsNSetsTheNextDeadlineOnOneUnbrokenSchedule) {
  g_plan.count = 0;
  StartTimerService(&PlanTick);
  const int64_t armed_ns = NowNs();
  LibraryTimerB().Arm(255);
  const int64_t arm_done_ns = NowNs();
  ASSERT_TRUE(WaitFor([] { return g_plan.count >= kPlanTicks; }));
  FreeTimerLibrary();

  // Deadline k: the first period at the start value, then each the period of
  // the N written in the call before it, all counted from the arming.
  uint64_t cycles = TimerBPeriodCycles(255);
  for (int k = 0; k < kPlanTicks; ++k) {
    const int64_t deadline_ns = static_cast<int64_t>(
        cycles / kOpmClockHz * 1'000'000'000 + cycles % kOpmClockHz * 1'000'000'000 / kOpmClockHz);
    ASSERT_GE(g_plan.time_ns[k] - armed_ns, deadline_ns - 1000) << "tick " << k + 1 << " early";
    if (k == kPlanTicks - 1) {
      // Restarting the period at each re-arm would leave the last tick at
      // least the two long calls (120 ms) behind.
      EXPECT_LT(g_plan.time_ns[k] - arm_done_ns, deadline_ns + 50'000'000);
    }
    cycles += TimerBPeriodCycles(PlannedN(k));
  }
}

TEST_F(TimerLibraryTest, MoreThanASecondBehindTheScheduleStartsAfreshInsteadOfCatchingUp) {
  g_ticks.long_call_at = 5;
  g_ticks.long_call_ms = 1100;  // about 3650 periods at N = 255
  g_ticks.rearm_n = 255;
  StartAndArm(255);
  ASSERT_TRUE(WaitFor([] { return g_ticks.long_call_end_ns != 0; }));
  const int64_t end_ns = g_ticks.long_call_end_ns;
  std::this_thread::sleep_until(
      std::chrono::steady_clock::time_point(std::chrono::nanoseconds(end_ns + 50'000'000)));
  FreeTimerLibrary();
  const int64_t elapsed_ns = NowNs() - end_ns;
  // Catching up would have made some 3650 calls at once.
  EXPECT_LE(g_ticks.count - 5, PeriodsIn(elapsed_ns, 255) + 1);
  EXPECT_GT(g_ticks.count - 5, 0);
}

TEST_F(TimerLibraryTest, ReArmingFromOutsideACallKeepsThePeriodRunning) {
  g_ticks.rearm_n = 200;  // 16.9 ms
  const int64_t armed_ns = StartAndArm(200);
  // Re-arming every millisecond: a re-arm that restarted the period would
  // never let it run out.
  const int64_t end_ns = armed_ns + 300'000'000;
  while (NowNs() < end_ns) {
    LibraryTimerB().Arm(200);
    std::this_thread::sleep_for(milliseconds(1));
  }
  FreeTimerLibrary();
  const int64_t elapsed_ns = NowNs() - armed_ns;
  EXPECT_LE(g_ticks.count, PeriodsIn(elapsed_ns, 200));
  // A re-arm that restarted the period would let none run out. Under
  // ThreadSanitizer a tick's calls by name take about a period, so there the
  // ticks need only come at all.
  EXPECT_GE(g_ticks.count, kCallsTakeAPeriod ? 2 : PeriodsIn(elapsed_ns, 200) / 2);
}

TEST_F(TimerLibraryTest, ControlBitsStopTheTimerAndMaskItsInterrupt) {
  StartAndArm(255);
  ASSERT_TRUE(WaitFor([] { return g_ticks.count >= 10; }));

  WriteOpm(0x14, 0x08);  // load bit clear: Timer B stops
  std::this_thread::sleep_for(milliseconds(5));
  ExpectNoMoreTicks("Timer B stopped");

  WriteOpm(0x14, 0x02);  // running, interrupt disabled
  ExpectNoMoreTicks("interrupt disabled");

  WriteOpm(0x14, 0x00);
  const int count = g_ticks.count;
  WriteOpm(0x14, 0x2A);  // started again
  EXPECT_TRUE(WaitFor([count] { return g_ticks.count >= count + 10; }));
}

TEST_F(TimerLibraryTest, NoCallComesOrRunsOnceFreeHasReturned) {
  g_ticks.long_call_at = 3;
  g_ticks.long_call_ms = 50;
  g_ticks.rearm_n = 255;
  StartAndArm(255);
  ASSERT_TRUE(WaitFor([] { return g_ticks.inside == 1 && g_ticks.count == 2; }));
  FreeTimerLibrary();  // while the third call sleeps
  EXPECT_EQ(g_ticks.inside, 0);
  EXPECT_EQ(g_ticks.count, 3);
  ExpectNoMoreTicks("after X68Sound_Free");
}

TEST_F(TimerLibraryTest, FreeFromInsideACallMakesItTheLastAndTheLibraryStartsAgain) {
  g_ticks.free_at = 20;
  g_ticks.rearm_n = 255;  // the re-arm after Free inside that call starts nothing
  StartAndArm(255);
  ASSERT_TRUE(WaitFor([] { return g_ticks.count >= 20; }));
  ExpectNoMoreTicks("after X68Sound_Free inside a call");
  EXPECT_EQ(g_ticks.count, 20);

  StartAndArm(255);
  EXPECT_TRUE(WaitFor([] { return g_ticks.count >= 40; }));
}

TEST_F(TimerLibraryTest, CallsNeverOverlapWhateverTheOtherThreadDoes) {
  g_ticks.rearm_n = 255;
  g_ticks.slow_every = 5;  // calls outlast the 0.3 ms period: catch-up runs
  StartAndArm(255);
  for (int round = 0; round < 6; ++round) {
    const int64_t end_ns = NowNs() + 40'000'000;
    for (int i = 1; NowNs() < end_ns; ++i) {
      LibraryTimerB().Arm(255);
      if (i % 16 == 0) {
        // Stopped and started: the period starts again from here, and runs
        // out several times before the next restart even where the timer
        // thread wakes a millisecond late (Wine's waitable timers).
        WriteOpm(0x14, 0x08);
        WriteOpm(0x14, 0x2A);
        std::this_thread::sleep_for(milliseconds(5));
      }
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    FreeTimerLibrary();
    StartAndArm(255);
  }
  FreeTimerLibrary();
  // Under ThreadSanitizer each tick's calls by name take milliseconds.
  EXPECT_GT(g_ticks.count, kCallsTakeAPeriod ? 10 : 50) << "the stress made few calls";
  EXPECT_EQ(g_ticks.overlaps, 0);
}

TEST_F(TimerLibraryTest, StartingTwiceIsRefusedUnderEveryFormOfTheLibraryName) {
  EXPECT_EQ(StartTimerLibrary(), 0);
  EXPECT_EQ(CallLibraryFunction("X68Sound_Start", "X68SOUND.DLL", 11025, 1, 0, 3, 5, 200, 1), 1);
  EXPECT_EQ(CallLibraryFunction("X68Sound_Start", "x68sound.DLL", 11025, 1, 0, 3, 5, 200, 1), 1);
  EXPECT_EQ(FreeTimerLibrary(), 0);
  EXPECT_EQ(CallLibraryFunction("X68Sound_Start", "x68Sound.dll", 11025, 1, 0, 3, 5, 200, 1), 0);
}

}  // namespace
}  // namespace opl2
