#include "player/console_key_loop.h"

#include "player/key_code.h"

namespace opl2 {

ConsoleKey ReadConsoleKey(ConsoleInput& console) {
  const std::uint32_t saved_mode = console.GetMode();
  console.SetMode(0);
  for (;;) {
    ConsoleInputRecord record;
    const ConsoleInput::Read read = console.ReadRecord(&record);
    console.SetMode(saved_mode);
    if (read == ConsoleInput::Read::kStopped) return {ConsoleWaitEnd::kStopped, 0};
    if (read == ConsoleInput::Read::kFailed) return {ConsoleWaitEnd::kInputEnded, 0};
    if (read != ConsoleInput::Read::kRecord || record.event_type != KEY_EVENT_TYPE ||
        record.key_down == 0) {
      continue;
    }
    if (const auto code = KeyCodeFor(record.key)) {
      console.Flush();
      return {ConsoleWaitEnd::kKey, *code};
    }
  }
}

}  // namespace opl2
