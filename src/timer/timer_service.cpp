#include "timer/timer_service.h"

#include "timer/library_call.h"

namespace opl2 {
namespace {

// The player names the library both ways; both find the same library.
constexpr char kLibraryName[] = "X68Sound.dll";
constexpr char kLibraryNameLower[] = "x68sound.dll";

constexpr uint32_t kTimerBLoadRegister = 0x12;
constexpr uint32_t kTimerControlRegister = 0x14;
// Bit 5 clears the Timer B flag, bit 3 enables its interrupt, bit 1 loads and
// starts it; Timer A and CSM stay off.
constexpr uint32_t kTimerBStart = 0x2A;

void WriteOpmRegister(uint32_t reg, uint32_t value) {
  CallLibraryFunction("X68Sound_OpmReg", kLibraryNameLower, reg);
  CallLibraryFunction("X68Sound_OpmPoke", kLibraryNameLower, value);
}

}  // namespace

void LibraryTimerB::Arm(uint8_t timer_b_value) {
  WriteOpmRegister(kTimerBLoadRegister, timer_b_value);
  WriteOpmRegister(kTimerControlRegister, kTimerBStart);
}

int32_t SetTimerLibraryClock() {
  return CallLibraryFunction("X68Sound_OpmClock", kLibraryNameLower, kOpmClockHz);
}

int32_t StartTimerLibrary() {
  // Output rate, then the library's buffering and filter settings; this
  // player makes no sound through the library.
  return CallLibraryFunction("X68Sound_Start", kLibraryName, 11025u, 1u, 0u, 3u, 5u, 200u, 1u);
}

int32_t RegisterTimerTick(TimerTickRoutine tick) {
  return CallLibraryFunction("X68Sound_OpmInt", kLibraryName, tick);
}

void StartTimerService(TimerTickRoutine tick) {
  SetTimerLibraryClock();
  StartTimerLibrary();
  RegisterTimerTick(tick);
}

int32_t FreeTimerLibrary() {
  return CallLibraryFunction("X68Sound_Free", kLibraryName);
}

}  // namespace opl2
