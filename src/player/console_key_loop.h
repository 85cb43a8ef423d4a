// The key reader's wait on a console that delivers input records (the Win32
// console), apart from the console itself so that it can be driven by a
// stand-in:
//
//  1. save the console's input mode, set it to 0 (no processed input, so
//     Ctrl+C arrives as the character 3; no line input, no echo, no window
//     or mouse events);
//  2. read one record, and put the saved mode back at once, after every
//     read, so only the first read runs in mode 0;
//  3. a read of no record, a record that is not a key event, or a release:
//     read again;
//  4. a key press: ask KeyCodeFor (key_code.h); a press that counts
//     discards every record still queued (keys typed ahead are lost); one
//     that does not count (a lone Shift, Ctrl, Alt or Caps Lock) reads again
//     and keeps the queue. Consoles fed by a terminal (Wine's, a pseudo
//     console) queue a modifier's press in the same burst as the key it
//     modifies: discarding the queue after the modifier would lose that key.
#pragma once

#include <cstdint>

#include "player/key_event.h"

namespace opl2 {

// The event type of a key event record, by the console's name.
inline constexpr std::uint16_t KEY_EVENT_TYPE = 0x0001;

// One console input record, the fields the reader uses.
struct ConsoleInputRecord {
  std::uint16_t event_type = 0;
  std::int32_t key_down = 0;  // nonzero for a press
  KeyEvent key;               // for key events
};

class ConsoleInput {
 public:
  enum class Read {
    kRecord,    // *record holds the record read
    kNoRecord,  // the read returned without a record
    kStopped,   // the wait was ended from outside (Ctrl+C handler, another thread)
    kFailed,    // no record can ever come (the input is no console)
  };

  virtual ~ConsoleInput() = default;
  virtual std::uint32_t GetMode() = 0;
  virtual void SetMode(std::uint32_t mode) = 0;
  // Removes one record from the queue, waiting until there is one.
  virtual Read ReadRecord(ConsoleInputRecord* record) = 0;
  // Discards every record still queued.
  virtual void Flush() = 0;
};

enum class ConsoleWaitEnd {
  kKey,         // `code` is the key's code
  kStopped,     // ConsoleInput::Read::kStopped
  kInputEnded,  // ConsoleInput::Read::kFailed
};

struct ConsoleKey {
  ConsoleWaitEnd end = ConsoleWaitEnd::kInputEnded;
  std::int32_t code = 0;
};

// Waits for one counted key press (steps above). The mode on return is the
// one on entry, whichever way the wait ends.
ConsoleKey ReadConsoleKey(ConsoleInput& console);

}  // namespace opl2
