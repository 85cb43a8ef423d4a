// The stack-order caller of 32-bit x86 on its own, as a Linux i386 program
// without a C library (scripts/test-windows runs it under qemu-i386 where
// the kernel runs no 32-bit programs). Routines that remove their own
// values (__stdcall) and routines that leave them to the caller (__cdecl)
// get their values in order, and the caller's stack pointer is where it was.
// Exit status 0 when every check holds, else the number of the first that
// failed.
#include <stdint.h>

#include "timer/stack_call.h"

namespace {

uintptr_t g_seen[12];
int g_count = -1;

void See(const uintptr_t* values, int count) {
  for (int i = 0; i < count; ++i) g_seen[i] = values[i];
  g_count = count;
}

__attribute__((stdcall)) int32_t Std7(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d,
                                      uintptr_t e, uintptr_t f, uintptr_t g) {
  const uintptr_t v[] = {a, b, c, d, e, f, g};
  See(v, 7);
  return 7007;
}

__attribute__((cdecl)) int32_t Cdecl7(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d,
                                      uintptr_t e, uintptr_t f, uintptr_t g) {
  const uintptr_t v[] = {a, b, c, d, e, f, g};
  See(v, 7);
  return 7000;
}

__attribute__((stdcall)) int32_t Std12(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d,
                                       uintptr_t e, uintptr_t f, uintptr_t g, uintptr_t h,
                                       uintptr_t i, uintptr_t j, uintptr_t k, uintptr_t l) {
  const uintptr_t v[] = {a, b, c, d, e, f, g, h, i, j, k, l};
  See(v, 12);
  return 12012;
}

__attribute__((stdcall)) int32_t Std0() {
  g_count = 0;
  return 100;
}

// Returns the address of its first value: the word above its return address.
extern "C" int32_t FirstValueAddress();
asm(R"(
  .text
FirstValueAddress:
  leal 4(%esp), %eax
  ret
)");

#define READ_STACK_POINTER(var) asm volatile("movl %%esp, %0" : "=r"(var))

int Check(const void* routine, const uintptr_t* values, int count, int32_t result, int number) {
  uintptr_t before = 0;
  uintptr_t after = 0;
  READ_STACK_POINTER(before);
  const int32_t got = opl2::CallWithStackWords(routine, values, count);
  READ_STACK_POINTER(after);
  if (got != result) return number;
  if (after != before) return number + 1;
  if (g_count != count) return number + 2;
  for (int i = 0; i < count; ++i) {
    if (g_seen[i] != values[i]) return number + 3;
  }
  return 0;
}

int Run() {
  uintptr_t values[12];
  for (int round = 0; round < 1000; ++round) {
    for (int i = 0; i < 12; ++i) values[i] = static_cast<uintptr_t>(round * 100 + i * 7 + 1);
    if (int failed = Check(reinterpret_cast<const void*>(&Std7), values, 7, 7007, 10))
      return failed;
    if (int failed = Check(reinterpret_cast<const void*>(&Cdecl7), values, 7, 7000, 20)) {
      return failed;
    }
    if (int failed = Check(reinterpret_cast<const void*>(&Std12), values, 12, 12012, 30)) {
      return failed;
    }
    if (int failed = Check(reinterpret_cast<const void*>(&Std0), values, 0, 100, 40)) return failed;
  }
  // The first value sits on a 16-byte boundary, whatever the caller's stack.
  for (int count = 1; count <= 12; ++count) {
    const int32_t at =
        opl2::CallWithStackWords(reinterpret_cast<const void*>(&FirstValueAddress), values, count);
    if ((at & 15) != 0) return 50;
  }
  // Counts out of range call nothing.
  g_count = -1;
  if (opl2::CallWithStackWords(reinterpret_cast<const void*>(&Std0), values, 13) != 0) return 60;
  if (g_count != -1) return 61;
  return 0;
}

}  // namespace

extern "C" [[noreturn]] void ExitWith(int status) {
  asm volatile("int $0x80" : : "a"(1), "b"(status));
  __builtin_unreachable();
}

extern "C" int RunChecks() {
  return Run();
}

asm(R"(
  .text
  .globl _start
_start:
  xorl %ebp, %ebp
  andl $-16, %esp
  call RunChecks
  movl %eax, (%esp)
  call ExitWith
)");
