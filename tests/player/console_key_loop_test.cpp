// The key reader's wait on a record console, driven by a stand-in console
// that keeps a log of what the reader asks of it.
#include "player/console_key_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace opl2 {
namespace {

constexpr std::uint32_t kSavedMode = 0x1F7;        // the console's usual mode
constexpr std::uint32_t kProcessedInput = 0x0001;  // ENABLE_PROCESSED_INPUT
constexpr std::uint16_t kMouseEvent = 0x0002;

// A console whose input arrives in bursts: a burst is what was queued
// together (a key typed with others ahead of it); the next burst arrives
// once the queue is empty. With processed input on, Ctrl+C never reaches
// the queue: the console's control handler ends the wait, as it does on
// Windows.
class ScriptedConsole : public ConsoleInput {
 public:
  explicit ScriptedConsole(std::vector<std::vector<ConsoleInputRecord>> bursts) {
    for (auto& burst : bursts) bursts_.emplace_back(burst.begin(), burst.end());
  }

  std::uint32_t GetMode() override {
    log += "get ";
    return mode;
  }
  void SetMode(std::uint32_t m) override {
    mode = m;
    log += m == 0 ? "mode0 " : m == kSavedMode ? "saved " : "other ";
  }
  Read ReadRecord(ConsoleInputRecord* record) override {
    log += "read ";
    while (!bursts_.empty() && bursts_.front().empty()) bursts_.pop_front();
    if (bursts_.empty()) return fail_at_end ? Read::kFailed : Read::kStopped;
    *record = bursts_.front().front();
    bursts_.front().pop_front();
    const bool ctrl_c = record->event_type == KEY_EVENT_TYPE && record->key.character == 3;
    if (ctrl_c && (mode & kProcessedInput) != 0) return Read::kStopped;
    return Read::kRecord;
  }
  void Flush() override {
    log += "flush ";
    if (!bursts_.empty()) bursts_.front().clear();
  }

  std::uint32_t mode = kSavedMode;
  std::string log;
  bool fail_at_end = false;

 private:
  std::deque<std::deque<ConsoleInputRecord>> bursts_;
};

ConsoleInputRecord Press(std::uint16_t vk, std::uint16_t scan, std::uint8_t c,
                         std::uint32_t state = 0) {
  return {KEY_EVENT_TYPE, 1, KeyEvent{vk, scan, c, state}};
}
ConsoleInputRecord Release(std::uint16_t vk, std::uint16_t scan, std::uint8_t c) {
  return {KEY_EVENT_TYPE, 0, KeyEvent{vk, scan, c, 0}};
}
ConsoleInputRecord Mouse() {
  return {kMouseEvent, 1, KeyEvent{}};
}

const ConsoleInputRecord kShift = Press(0x10, 42, 0, SHIFT_PRESSED);
const ConsoleInputRecord kCtrl = Press(0x11, 29, 0, LEFT_CTRL_PRESSED);
const ConsoleInputRecord kCtrlC = Press('C', 46, 3, LEFT_CTRL_PRESSED);
const ConsoleInputRecord kLetterX = Press('X', 45, 'x');
const ConsoleInputRecord kF1 = Press(0x70, 59, 0);

TEST(ConsoleKeyLoop, SkipsWhatDoesNotCountAndRestoresTheModeAfterEveryRead) {
  // A mouse event and a release, then Shift with the F1 it modifies queued
  // behind it (as a terminal-fed console delivers Shift+F1), then "x".
  ScriptedConsole console({{Mouse(), Release('Q', 16, 'q')}, {kShift, kF1}, {kLetterX}});
  const ConsoleKey key = ReadConsoleKey(console);
  EXPECT_EQ(key.end, ConsoleWaitEnd::kKey);
  EXPECT_EQ(key.code, -59);
  EXPECT_EQ(console.log, "get mode0 read saved read saved read saved read saved flush ");
  EXPECT_EQ(console.mode, kSavedMode);
}

TEST(ConsoleKeyLoop, AKeyThatCountsDiscardsTheKeysTypedAheadOfIt) {
  ScriptedConsole console({{kLetterX, kF1, kCtrlC}, {kLetterX}});
  EXPECT_EQ(ReadConsoleKey(console).code, 'x');
  EXPECT_EQ(ReadConsoleKey(console).code, 'x');  // the F1 and Ctrl+C are gone
}

TEST(ConsoleKeyLoop, OnlyTheFirstReadTakesCtrlCAsAKey) {
  ScriptedConsole first({{kCtrlC}});
  EXPECT_EQ(ReadConsoleKey(first).code, 3);

  // Pressing Ctrl is an event of its own; the Ctrl+C after it is read in the
  // saved (processed) mode, where the control handler takes it.
  ScriptedConsole after_ctrl({{kCtrl}, {kCtrlC}});
  EXPECT_EQ(ReadConsoleKey(after_ctrl).end, ConsoleWaitEnd::kStopped);
  EXPECT_EQ(after_ctrl.mode, kSavedMode);
}

TEST(ConsoleKeyLoop, AStopOrAFailedReadEndsTheWaitInTheSavedMode) {
  ScriptedConsole stopped({});
  EXPECT_EQ(ReadConsoleKey(stopped).end, ConsoleWaitEnd::kStopped);
  EXPECT_EQ(stopped.log, "get mode0 read saved ");

  ScriptedConsole failing({{kShift}});
  failing.fail_at_end = true;
  EXPECT_EQ(ReadConsoleKey(failing).end, ConsoleWaitEnd::kInputEnded);
  EXPECT_EQ(failing.mode, kSavedMode);
}

}  // namespace
}  // namespace opl2
