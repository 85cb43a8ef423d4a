// The player's calls into the OPM timer library: start-up, Timer B arming and
// shutdown. Every call goes through CallLibraryFunction, so a missing library
// or routine makes the call do nothing.
#pragma once

#include <cstdint>

#include "bus/timer_b.h"

namespace opl2 {

// The routine the library calls at every Timer B overflow.
using TimerTickRoutine = void (*)();

// Arms Timer B in the library: register 0x12 = N, then 0x2A to register 0x14
// (clear the overflow flag, enable its interrupt, load and start it).
// Armed from inside a tick, N sets the period up to the next tick. Armed while
// Timer B already runs, from any thread, the period under way is not
// restarted: N applies from the next period on, so re-arming never shifts
// the tick schedule. Only the first arming (or one after Timer B was stopped)
// starts a period from the time of the call.
class LibraryTimerB : public TimerB {
 public:
  void Arm(uint8_t timer_b_value) override;
};

// X68Sound_OpmClock(3400000): the OPM master clock Timer B counts.
int32_t SetTimerLibraryClock();
// X68Sound_Start(11025, 1, 0, 3, 5, 200, 1).
int32_t StartTimerLibrary();
// X68Sound_OpmInt(tick): `tick` becomes the Timer B interrupt routine.
int32_t RegisterTimerTick(TimerTickRoutine tick);
// The three start calls in the order the player makes them.
void StartTimerService(TimerTickRoutine tick);
// X68Sound_Free: no tick runs or starts once this returns.
int32_t FreeTimerLibrary();

}  // namespace opl2
