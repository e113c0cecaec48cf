// Hot loops that the compiler vectorises are built twice, for AVX2 and for
// the baseline (some also for AVX-512), and the CPU's copy is chosen once
// when the library loads.
// ThreadSanitizer's runtime is not ready when that choice runs at load
// time, so its builds keep the baseline copy alone.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define RKCONV_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RKCONV_THREAD_SANITIZER 1
#endif
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(RKCONV_THREAD_SANITIZER)
#define RKCONV_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
// Integer loops of sixteen lanes that also gain a copy for AVX-512.
#define RKCONV_WIDE_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define RKCONV_VECTOR_CLONES
#define RKCONV_WIDE_VECTOR_CLONES
#endif
