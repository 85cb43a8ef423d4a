// X68Sound.dll: the routines the player finds by name, exported under their
// plain names. Each is __stdcall (it removes its own arguments); the player's
// caller restores its stack itself, so __cdecl callers work as well.
#include <windows.h>

#include <cstdint>

#include "opm_timer.h"

#define X68_EXPORT extern "C" __declspec(dllexport)

namespace {

// Never destroyed: at process exit the timer thread is already gone, and a
// destructor run under the loader lock could not join it.
x68timer::OpmTimer& Timer() {
  static x68timer::OpmTimer* const timer = new x68timer::OpmTimer;
  return *timer;
}

// Once the timer thread runs, the library stays in the process until it
// ends: a FreeLibrary then must not unmap the code that thread runs.
void StayLoaded() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&Timer), &self);
}

}  // namespace

X68_EXPORT int __stdcall X68Sound_OpmClock(uint32_t clock_hz) {
  return Timer().SetClock(clock_hz);
}

// The seven values choose the library's sound output (rate first). This
// library has none: only its Timer B is used, so they are accepted as given.
X68_EXPORT int __stdcall X68Sound_Start(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                        uint32_t) {
  StayLoaded();
  return Timer().Start();
}

X68_EXPORT int __stdcall X68Sound_OpmInt(uintptr_t routine) {
  Timer().SetInterrupt(reinterpret_cast<x68timer::TimerRoutine>(routine));
  return 0;
}

X68_EXPORT int __stdcall X68Sound_OpmReg(uint32_t reg) {
  Timer().SelectRegister(static_cast<uint8_t>(reg));
  return 0;
}

X68_EXPORT int __stdcall X68Sound_OpmPoke(uint32_t value) {
  Timer().Write(static_cast<uint8_t>(value));
  return 0;
}

X68_EXPORT int __stdcall X68Sound_Free() {
  Timer().Free();
  return 0;
}
