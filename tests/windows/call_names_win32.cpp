// Routines for the library-call tests on Windows: some exported only under
// decorated names ("fooA", "_foo"; call_names_win32.def gives the export
// names), and the same recording routine in both calling conventions.
#include <cstdint>

extern "C" {

int32_t OnlyPlain() {
  return 1;
}
int32_t OnlySuffixA() {
  return 2;
}
int32_t OnlyPrefixImpl() {
  return 3;
}
int32_t Both() {
  return 10;
}
int32_t BothA() {
  return 11;
}
int32_t BothPrefixImpl() {
  return 12;
}
int32_t EitherA() {
  return 21;
}
int32_t EitherPrefixImpl() {
  return 22;
}

// What the last Record call received.
uintptr_t recorded_values[12];
int32_t recorded_count;

// Seven values, as X68Sound_Start takes them: the routine removes them
// itself (__stdcall) or leaves that to the caller (__cdecl).
int32_t __stdcall RecordStd7(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d, uintptr_t e,
                             uintptr_t f, uintptr_t g) {
  const uintptr_t values[] = {a, b, c, d, e, f, g};
  for (int n = 0; n < 7; ++n) recorded_values[n] = values[n];
  recorded_count = 7;
  return 7007;
}
int32_t __cdecl RecordCdecl7(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d, uintptr_t e,
                             uintptr_t f, uintptr_t g) {
  const uintptr_t values[] = {a, b, c, d, e, f, g};
  for (int n = 0; n < 7; ++n) recorded_values[n] = values[n];
  recorded_count = 7;
  return 7000;
}
int32_t __stdcall RecordStd12(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d, uintptr_t e,
                              uintptr_t f, uintptr_t g, uintptr_t h, uintptr_t i, uintptr_t j,
                              uintptr_t k, uintptr_t l) {
  const uintptr_t values[] = {a, b, c, d, e, f, g, h, i, j, k, l};
  for (int n = 0; n < 12; ++n) recorded_values[n] = values[n];
  recorded_count = 12;
  return 12012;
}
int32_t __stdcall RecordStd0() {
  recorded_count = 0;
  return 100;
}

}  // extern "C"
