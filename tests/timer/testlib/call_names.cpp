// Routines for the library-call tests, some exported only under decorated
// names: "fooA" or "_foo" instead of "foo".
#include <cstdint>

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int32_t OnlyPlain() {
  return 1;
}
EXPORT int32_t OnlySuffixA() {
  return 2;
}
EXPORT int32_t OnlyPrefixImpl() __asm__("_OnlyPrefix");
int32_t OnlyPrefixImpl() {
  return 3;
}

// Exported under more than one form: the first form in lookup order wins.
EXPORT int32_t Both() {
  return 10;
}
EXPORT int32_t BothA() {
  return 11;
}
EXPORT int32_t BothPrefixImpl() __asm__("_Both");
int32_t BothPrefixImpl() {
  return 12;
}
EXPORT int32_t EitherA() {
  return 21;
}
EXPORT int32_t EitherPrefixImpl() __asm__("_Either");
int32_t EitherPrefixImpl() {
  return 22;
}

// "_" and 253 "L"s (254 characters): found as the prefixed form of a
// 253-character name.
#define L_x64 "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL"
EXPORT int32_t LongPrefixedImpl() __asm__(
    "_" L_x64 L_x64 L_x64 "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL");
int32_t LongPrefixedImpl() {
  return 254;
}
// "_" and 254 "L"s (255 characters): the prefixed form of a 254-character
// name, the longest that fits the name buffer.
EXPORT int32_t LongerPrefixedImpl() __asm__(
    "_" L_x64 L_x64 L_x64 "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL");
int32_t LongerPrefixedImpl() {
  return 255;
}

// What the last Record call received.
extern "C" {
__attribute__((visibility("default"))) uintptr_t recorded_values[12];
__attribute__((visibility("default"))) int32_t recorded_count;
}

EXPORT int32_t Record0() {
  recorded_count = 0;
  return 100;
}

EXPORT int32_t Record12(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d, uintptr_t e,
                        uintptr_t f, uintptr_t g, uintptr_t h, uintptr_t i, uintptr_t j,
                        uintptr_t k, uintptr_t l) {
  const uintptr_t values[] = {a, b, c, d, e, f, g, h, i, j, k, l};
  for (int n = 0; n < 12; ++n) recorded_values[n] = values[n];
  recorded_count = 12;
  return 112;
}

// No state: several threads may call it at once.
EXPORT int32_t Mix(uintptr_t a, uintptr_t b, uintptr_t c) {
  return static_cast<int32_t>(a * 3 + b * 5 + c * 7);
}
