#pragma once

// Inlining control for the processor's hot path, where a missed inline costs a call
// per memory cycle and a stray call makes every opcode handler set up a stack frame.
#if defined(__GNUC__)
#define VANTREL_ALWAYS_INLINE inline __attribute__((always_inline))
#define VANTREL_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define VANTREL_ALWAYS_INLINE __forceinline
#define VANTREL_NOINLINE __declspec(noinline)
#else
#define VANTREL_ALWAYS_INLINE inline
#define VANTREL_NOINLINE
#endif
