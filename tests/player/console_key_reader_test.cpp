#include "player/console_key_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "terminal_support.h"

namespace opl2 {
namespace {

using namespace std::chrono_literals;
using test::IsRaw;
using test::ModeOf;
using test::SameMode;
using test::Send;
using test::WaitUntilRaw;

class TerminalKeyWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    cooked_ = ModeOf(slave_);
    ASSERT_FALSE(IsRaw(cooked_));
  }
  void TearDown() override {
    close(master_);
    close(slave_);
  }

  std::future<KeyWaitResult> StartWait() {
    return std::async(std::launch::async, [fd = slave_] { return WaitForKey(fd); });
  }

  // Result of a wait started with StartWait; fails instead of hanging.
  static KeyWaitResult Finish(std::future<KeyWaitResult>& wait) {
    if (wait.wait_for(5s) != std::future_status::ready) {
      ADD_FAILURE() << "the wait did not end";
      StopKeyWait();
    }
    return wait.get();
  }

  KeyWaitResult KeyThroughTerminal(const std::string& bytes) {
    auto wait = StartWait();
    EXPECT_TRUE(WaitUntilRaw(slave_)) << "raw mode while waiting";
    Send(master_, bytes);
    return Finish(wait);
  }

  int master_ = -1;
  int slave_ = -1;
  termios cooked_{};
};

TEST_F(TerminalKeyWaitTest, KeysArriveInRawModeAndTheSavedModeIsBackAfter) {
  const std::vector<std::pair<std::string, std::int32_t>> keys = {
      {"\x1b[A", -72},       // Up
      {"\x1bOP", -59},       // F1
      {"\x1b[1;5P", -2059},  // Ctrl+F1
      {"\x03", 3},           // Ctrl+C is a key, not a signal
      {"\r", 13},            // Enter is not turned into a line feed
      {"\x1b", 27},          // Escape alone, after the wait for more bytes
      {"\x1bx", 1088},       // Alt+x
      {"\xc3\x88", -56},     // character 200
  };
  for (const auto& [bytes, code] : keys) {
    const KeyWaitResult result = KeyThroughTerminal(bytes);
    EXPECT_EQ(result.end, KeyWaitEnd::kKey);
    EXPECT_EQ(result.code, code) << "bytes " << bytes.size();
    EXPECT_TRUE(SameMode(ModeOf(slave_), cooked_)) << "mode restored";
  }
}

TEST_F(TerminalKeyWaitTest, TypedAheadKeyIsReadFirstAndWhatFollowsItIsDiscarded) {
  Send(master_, "xy\x1b[A");  // typed before the wait, in the saved mode
  const KeyWaitResult first = WaitForKey(slave_);
  EXPECT_EQ(first.end, KeyWaitEnd::kKey);
  EXPECT_EQ(first.code, 'x');
  EXPECT_TRUE(SameMode(ModeOf(slave_), cooked_));

  // "y" and Up are gone: the next wait gets the next key typed.
  const KeyWaitResult next = KeyThroughTerminal("z");
  EXPECT_EQ(next.code, 'z');
}

TEST_F(TerminalKeyWaitTest, SequencesThatAreNoKeyDoNotEndTheWait) {
  auto wait = StartWait();
  EXPECT_TRUE(WaitUntilRaw(slave_));
  Send(master_, "\x1b[I");  // a focus report
  EXPECT_EQ(wait.wait_for(100ms), std::future_status::timeout);
  Send(master_, "\x1b[24~");
  EXPECT_EQ(Finish(wait).code, -88);
}

TEST_F(TerminalKeyWaitTest, StopKeyWaitEndsOneWait) {
  auto wait = StartWait();
  EXPECT_TRUE(WaitUntilRaw(slave_));
  StopKeyWait();
  const KeyWaitResult stopped = Finish(wait);
  EXPECT_EQ(stopped.end, KeyWaitEnd::kStopped);
  EXPECT_EQ(stopped.code, kKeyWaitStopped);
  EXPECT_TRUE(SameMode(ModeOf(slave_), cooked_));

  // A stop that comes first ends the next wait at once, and only that one.
  StopKeyWait();
  EXPECT_EQ(WaitForKey(slave_).end, KeyWaitEnd::kStopped);
  const KeyWaitResult key = KeyThroughTerminal("k");
  EXPECT_EQ(key.end, KeyWaitEnd::kKey);
  EXPECT_EQ(key.code, 'k');
}

TEST_F(TerminalKeyWaitTest, RestoreHookPutsTheSavedModeBackDuringAWait) {
  auto wait = StartWait();
  EXPECT_TRUE(WaitUntilRaw(slave_));
  RestoreConsoleMode();
  EXPECT_TRUE(SameMode(ModeOf(slave_), cooked_));
  RestoreConsoleMode();
  EXPECT_TRUE(SameMode(ModeOf(slave_), cooked_));
  StopKeyWait();
  EXPECT_EQ(Finish(wait).end, KeyWaitEnd::kStopped);
  EXPECT_TRUE(SameMode(ModeOf(slave_), cooked_));
}

TEST_F(TerminalKeyWaitTest, RestoreHookWithoutAWaitChangesNothing) {
  termios custom = cooked_;
  custom.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  ASSERT_EQ(tcsetattr(slave_, TCSANOW, &custom), 0);
  RestoreConsoleMode();
  EXPECT_TRUE(SameMode(ModeOf(slave_), custom));
}

std::atomic<int> g_signals_seen{0};
std::atomic<bool> g_handler_stops{false};

void OnTestSignal(int) {
  RestoreConsoleMode();
  if (g_handler_stops.load()) StopKeyWait();
  g_signals_seen.fetch_add(1);
}

class SignalKeyWaitTest : public TerminalKeyWaitTest {
 protected:
  void SetUp() override {
    TerminalKeyWaitTest::SetUp();
    struct sigaction action {};
    action.sa_handler = OnTestSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous_), 0);
    g_signals_seen = 0;
  }
  void TearDown() override {
    if (waiter_.joinable()) {  // a check failed before the wait ended
      StopKeyWait();
      waiter_.join();
    }
    SetKeyWaitSleepHook(nullptr);
    sigaction(SIGUSR1, &previous_, nullptr);
    TerminalKeyWaitTest::TearDown();
  }

  // Runs a wait on a thread of its own, so a signal can be sent to it.
  void StartWaitThread() {
    waiter_ = std::thread([this] { result_ = WaitForKey(slave_); });
  }
  void Signal() { pthread_kill(waiter_.native_handle(), SIGUSR1); }
  bool WaitForSignalHandled() {
    for (int i = 0; i < 5000 && g_signals_seen.load() == 0; ++i) std::this_thread::sleep_for(1ms);
    return g_signals_seen.load() > 0;
  }

  struct sigaction previous_ {};
  std::thread waiter_;
  KeyWaitResult result_;
};

TEST_F(SignalKeyWaitTest, HandlerThatStopsEndsTheWaitWithTheModeRestored) {
  g_handler_stops = true;
  StartWaitThread();
  ASSERT_TRUE(WaitUntilRaw(slave_));
  Signal();
  waiter_.join();
  EXPECT_EQ(result_.end, KeyWaitEnd::kStopped);
  EXPECT_TRUE(SameMode(ModeOf(slave_), cooked_));
}

// Raises the test signal on the waiting thread the first time the wait is
// about to sleep: after it has gone raw, before it blocks.
std::atomic<bool> g_signal_before_sleep{false};

void SignalBeforeSleep() {
  if (g_signal_before_sleep.exchange(false)) pthread_kill(pthread_self(), SIGUSR1);
}

TEST_F(SignalKeyWaitTest, HandlerThatOnlyRestoresLeavesTheWaitInRawMode) {
  g_handler_stops = false;
  SetKeyWaitSleepHook(SignalBeforeSleep);
  for (const bool before_sleep : {true, false}) {
    SCOPED_TRACE(before_sleep ? "signal just before the wait sleeps" : "signal during the sleep");
    g_signals_seen = 0;
    g_signal_before_sleep = before_sleep;
    StartWaitThread();
    if (!before_sleep) {
      ASSERT_TRUE(WaitUntilRaw(slave_));
      Signal();
    }
    ASSERT_TRUE(WaitForSignalHandled());
    ASSERT_TRUE(WaitUntilRaw(slave_)) << "the wait goes back to raw mode";
    Send(master_, "k");  // no line end: only a raw-mode wait sees it
    waiter_.join();
    EXPECT_EQ(result_.end, KeyWaitEnd::kKey);
    EXPECT_EQ(result_.code, 'k');
    EXPECT_TRUE(SameMode(ModeOf(slave_), cooked_));
  }
}

TEST(StreamKeyWaitTest, NonTerminalInputIsDecodedByteByByteUntilItEnds) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  test::Send(fds[1], "x\x1b[Ay\x1b[1;3P\x1b");
  close(fds[1]);
  std::vector<std::int32_t> codes;
  KeyWaitResult result;
  while ((result = WaitForKey(fds[0])).end == KeyWaitEnd::kKey) codes.push_back(result.code);
  close(fds[0]);
  EXPECT_EQ(codes, (std::vector<std::int32_t>{'x', -72, 'y', -1059, 27}));
  EXPECT_EQ(result.end, KeyWaitEnd::kInputEnded);
}

TEST(StreamKeyWaitTest, EmptyInputEndsAtOnce) {
  const int null = open("/dev/null", O_RDONLY);
  ASSERT_GE(null, 0);
  EXPECT_EQ(WaitForKey(null).end, KeyWaitEnd::kInputEnded);
  close(null);
}

TEST(StreamKeyWaitTest, ReadKeyAtEndOfInputSleepsUntilStopped) {
  const int saved_stdin = dup(STDIN_FILENO);
  const int null = open("/dev/null", O_RDONLY);
  ASSERT_GE(null, 0);
  ASSERT_EQ(dup2(null, STDIN_FILENO), STDIN_FILENO);
  if (null != STDIN_FILENO) close(null);  // standard input may have been closed

  auto wait = std::async(std::launch::async, [] { return ReadKey(); });
  EXPECT_EQ(wait.wait_for(200ms), std::future_status::timeout) << "no key can come: it waits";
  StopKeyWait();
  ASSERT_EQ(wait.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(wait.get(), kKeyWaitStopped);

  if (saved_stdin >= 0) {
    dup2(saved_stdin, STDIN_FILENO);
    close(saved_stdin);
  }
}

}  // namespace
}  // namespace opl2
