#include "timer/stack_call.h"

#if !defined(__i386__)
#include <array>
#include <cstddef>
#include <utility>
#endif

namespace opl2 {

#if defined(__i386__)

// int32_t opl2_stack_call(const void* routine, const uintptr_t* values, int count),
// an ordinary __cdecl function to its callers.
extern "C" int32_t StackCall(const void* routine, const uintptr_t* values,
                             int count) asm("opl2_stack_call");

asm(R"(
  .text
  .globl opl2_stack_call
opl2_stack_call:
  pushl %ebp
  movl %esp, %ebp
  pushl %esi
  movl 16(%ebp), %ecx          # count
  movl 12(%ebp), %edx          # values
  leal 0(,%ecx,4), %eax
  subl %eax, %esp              # room for the words
  andl $-16, %esp              # the first word on a 16-byte boundary
1:
  testl %ecx, %ecx
  jz 2f
  decl %ecx
  movl (%edx,%ecx,4), %esi     # word i goes to i * 4 above the stack pointer
  movl %esi, (%esp,%ecx,4)
  jmp 1b
2:
  call *8(%ebp)                # the result stays in %eax
  leal -4(%ebp), %esp          # the stack as before, whoever removed the words
  popl %esi
  popl %ebp
  ret
)");

int32_t CallWithStackWords(const void* routine, const uintptr_t* values, int count) {
  if (count < 0 || count > kMaxStackCallWords) return 0;
  return StackCall(routine, values, count);
}

#else

namespace {

template <size_t>
using Word = uintptr_t;
using Invoker = int32_t (*)(const void* routine, const uintptr_t* values);

template <size_t... I>
int32_t InvokeWith(const void* routine, const uintptr_t* values, std::index_sequence<I...>) {
  using Routine = int32_t (*)(Word<I>...);
  return reinterpret_cast<Routine>(const_cast<void*>(routine))(values[I]...);
}

template <size_t N>
int32_t Invoke(const void* routine, const uintptr_t* values) {
  return InvokeWith(routine, values, std::make_index_sequence<N>{});
}

template <size_t... N>
constexpr std::array<Invoker, sizeof...(N)> MakeInvokers(std::index_sequence<N...>) {
  return {&Invoke<N>...};
}

constexpr auto kInvokers = MakeInvokers(std::make_index_sequence<kMaxStackCallWords + 1>{});

}  // namespace

int32_t CallWithStackWords(const void* routine, const uintptr_t* values, int count) {
  if (count < 0 || count > kMaxStackCallWords) return 0;
  return kInvokers[static_cast<size_t>(count)](routine, values);
}

#endif

}  // namespace opl2
