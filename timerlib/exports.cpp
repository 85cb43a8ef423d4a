// The routines the player finds by name. Each takes and returns machine words
// the way the player's caller passes them; results are 0 for done.
#include <cstdint>

#include "opm_timer.h"

namespace {

x68timer::OpmTimer g_timer;

}  // namespace

extern "C" __attribute__((visibility("default"))) int X68Sound_OpmClock(uintptr_t clock_hz) {
  if (clock_hz > UINT32_MAX) return 1;
  return g_timer.SetClock(static_cast<uint32_t>(clock_hz));
}

// The seven values choose the library's sound output (rate first). This
// library has none: only its Timer B is used, so they are accepted as given.
extern "C" __attribute__((visibility("default"))) int X68Sound_Start(uintptr_t, uintptr_t,
                                                                     uintptr_t, uintptr_t,
                                                                     uintptr_t, uintptr_t,
                                                                     uintptr_t) {
  return g_timer.Start();
}

extern "C" __attribute__((visibility("default"))) int X68Sound_OpmInt(uintptr_t routine) {
  g_timer.SetInterrupt(reinterpret_cast<x68timer::TimerRoutine>(routine));
  return 0;
}

extern "C" __attribute__((visibility("default"))) int X68Sound_OpmReg(uintptr_t reg) {
  g_timer.SelectRegister(static_cast<uint8_t>(reg));
  return 0;
}

extern "C" __attribute__((visibility("default"))) int X68Sound_OpmPoke(uintptr_t value) {
  g_timer.Write(static_cast<uint8_t>(value));
  return 0;
}

extern "C" __attribute__((visibility("default"))) int X68Sound_Free() {
  g_timer.Free();
  return 0;
}
