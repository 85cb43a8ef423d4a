#include "player/console_key_reader_win32.h"

#include <windows.h>

namespace opl2 {
namespace {

// Auto-reset: one StopKeyWait ends one wait.
HANDLE StopEvent() {
  static const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return event;
}

class Win32Console : public ConsoleInput {
 public:
  Win32Console() : input_(GetStdHandle(STD_INPUT_HANDLE)) {}

  std::uint32_t GetMode() override {
    DWORD mode = 0;
    GetConsoleMode(input_, &mode);
    return mode;
  }

  void SetMode(std::uint32_t mode) override { SetConsoleMode(input_, mode); }

  Read ReadRecord(ConsoleInputRecord* record) override {
    // The input handle is signalled while records are queued, so the read
    // below does not block, and a stop can end the wait.
    const HANDLE waited[2] = {input_, StopEvent()};
    const DWORD which = WaitForMultipleObjects(2, waited, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0 + 1) return Read::kStopped;
    if (which != WAIT_OBJECT_0) return Read::kFailed;
    INPUT_RECORD raw;
    DWORD count = 0;
    if (!ReadConsoleInputA(input_, &raw, 1, &count)) return Read::kFailed;
    if (count == 0) return Read::kNoRecord;
    record->event_type = raw.EventType;
    if (raw.EventType == KEY_EVENT) {
      const KEY_EVENT_RECORD& key = raw.Event.KeyEvent;
      record->key_down = key.bKeyDown;
      record->key.virtual_key_code = key.wVirtualKeyCode;
      record->key.virtual_scan_code = key.wVirtualScanCode;
      record->key.character = static_cast<std::uint8_t>(key.uChar.AsciiChar);
      record->key.control_key_state = key.dwControlKeyState;
    }
    return Read::kRecord;
  }

  void Flush() override { FlushConsoleInputBuffer(input_); }

 private:
  HANDLE input_;
};

void WaitForStop() {
  WaitForSingleObject(StopEvent(), INFINITE);
}

}  // namespace

bool StdinIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

ConsoleKey WaitForConsoleKey() {
  StopEvent();  // made before any control handler may need it
  if (!StdinIsConsole()) return {ConsoleWaitEnd::kInputEnded, 0};
  Win32Console console;
  return ReadConsoleKey(console);
}

std::int32_t ReadKey() {
  const ConsoleKey key = WaitForConsoleKey();
  if (key.end == ConsoleWaitEnd::kKey) return key.code;
  if (key.end == ConsoleWaitEnd::kInputEnded) WaitForStop();
  return kKeyWaitStopped;
}

void StopKeyWait() {
  SetEvent(StopEvent());
}

}  // namespace opl2
