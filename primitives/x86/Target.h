// Compiles the functions between SP_TARGET_BEGIN_<ISA> and SP_TARGET_END for that instruction set.
// SIMD files are built with the project's baseline flags and switch the instruction set per
// function, so that no inline function from a shared header is ever emitted with instructions
// that an older processor lacks. Include every header before SP_TARGET_BEGIN_*.
#pragma once

#if defined(__clang__)
#define SP_TARGET_BEGIN_SSSE3 \
    _Pragma("clang attribute push(__attribute__((target(\"ssse3\"))), apply_to = function)")
#define SP_TARGET_BEGIN_SSE41 \
    _Pragma("clang attribute push(__attribute__((target(\"sse4.1\"))), apply_to = function)")
#define SP_TARGET_BEGIN_AVX2 \
    _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define SP_TARGET_END _Pragma("clang attribute pop")
#elif defined(__GNUC__)
#define SP_TARGET_BEGIN_SSSE3 _Pragma("GCC push_options") _Pragma("GCC target(\"ssse3\")")
#define SP_TARGET_BEGIN_SSE41 _Pragma("GCC push_options") _Pragma("GCC target(\"sse4.1\")")
#define SP_TARGET_BEGIN_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define SP_TARGET_END _Pragma("GCC pop_options")
#else  // MSVC: intrinsics need no switch
#define SP_TARGET_BEGIN_SSSE3
#define SP_TARGET_BEGIN_SSE41
#define SP_TARGET_BEGIN_AVX2
#define SP_TARGET_END
#endif
