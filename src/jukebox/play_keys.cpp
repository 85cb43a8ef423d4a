#include "jukebox/play_keys.h"

namespace opl2::jukebox {
namespace {

// Codes of keys that give no character: minus their scan code.
constexpr int32_t kUp = -72;
constexpr int32_t kDown = -80;
constexpr int32_t kLeft = -75;
constexpr int32_t kRight = -77;
constexpr int32_t kHome = -71;
constexpr int32_t kEscape = 27;
constexpr int32_t kCtrlC = 3;
constexpr int32_t kCtrlL = 12;
constexpr int32_t kCtrlZ = 26;

KeyCommand Plain(int32_t code) {
  switch (code) {
    case ' ':
      return {Command::kPause};
    case kRight:
      return {Command::kSeek, 5};
    case kLeft:
      return {Command::kSeek, -5};
    case kUp:
      return {Command::kSeek, 60};
    case kDown:
      return {Command::kSeek, -60};
    case kHome:
      return {Command::kRestart};
    case 'n':
    case 'N':
    case '>':
      return {Command::kNext};
    case 'p':
    case 'P':
    case '<':
      return {Command::kPrevious};
    case 'a':
    case 'A':
      return {Command::kUnmuteAll};
    case '+':
    case '=':
      return {Command::kVolume, 1};
    case '-':
    case '_':
      return {Command::kVolume, -1};
    case 'l':
    case 'L':
      return {Command::kLoopMode};
    case '?':
    case 'h':
    case 'H':
      return {Command::kHelp};
    case kCtrlL:
      return {Command::kRedraw};
    case 'q':
    case 'Q':
    case kEscape:
      return {Command::kQuit};
    case kCtrlC:
      return {Command::kInterrupt};
    case kCtrlZ:
      return {Command::kSuspend};
    default:
      if (code >= '0' && code <= '8') return {Command::kMute, code - '0'};
      return {};
  }
}

}  // namespace

KeyCommand KeyMap::Map(int32_t code) {
  if (solo_pending_) {
    solo_pending_ = false;
    if (code >= '0' && code <= '8') return {Command::kSolo, code - '0'};
  }
  if (code == 's' || code == 'S') {
    solo_pending_ = true;
    return {};
  }
  return Plain(code);
}

}  // namespace opl2::jukebox
