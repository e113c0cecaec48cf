// Hot loops that the compiler vectorises are built twice, for AVX2 and for
// the baseline, and the CPU's copy is chosen once when the library loads.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define RKCONV_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RKCONV_VECTOR_CLONES
#endif
