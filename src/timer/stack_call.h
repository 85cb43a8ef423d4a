// Calls a routine whose argument list is known only at run time: `count`
// machine words, the first at the lowest stack address.
//
// On 32-bit x86 the words are stored on the stack by hand below the caller's
// frame and the routine is called; afterwards the stack pointer is put back
// from the frame, whatever the routine did with its arguments. So a routine
// that removes its own arguments (__stdcall) and one that leaves that to the
// caller (__cdecl) both return to a sound stack. The stack is 16-byte aligned
// at the call. Elsewhere the call goes through a function type with `count`
// word parameters, which is what every routine there expects.
#pragma once

#include <stdint.h>  // not <cstdint>: the caller is also built without a C++ library

namespace opl2 {

// The most words a call can pass.
inline constexpr int kMaxStackCallWords = 12;

// Calls `routine` with values[0..count-1] and returns its int result (the
// low 32 bits of the result register). `count` is 0..kMaxStackCallWords.
int32_t CallWithStackWords(const void* routine, const uintptr_t* values, int count);

}  // namespace opl2
