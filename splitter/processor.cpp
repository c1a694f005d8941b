#include "processor.h"

#ifdef QUILLMERE_AVX2
// The C library's own reading of the processor; its header is C that only
// GCC also takes as C++.
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#include <sys/platform/x86.h>
#define QUILLMERE_LIBC_CPU_FEATURES 1
#else
#include <cpuid.h>
#endif
#endif

namespace quillmere {

#if defined(QUILLMERE_SSE2) && !defined(__x86_64__)
bool HaveSse2() {
  static const bool have = __builtin_cpu_supports("sse2");
  return have;
}
#endif

#ifdef QUILLMERE_AVX2
// Asked of the processor directly: __builtin_cpu_supports would link in
// a start-up routine that asks it dozens of questions on every run, which
// in a virtual machine costs more than a small check.
bool HaveAvx2() {
#ifdef QUILLMERE_LIBC_CPU_FEATURES
  // The C library asked the processor and the system at start-up already;
  // asking again costs a trap into the hypervisor per question.
  static const bool have = CPU_FEATURE_ACTIVE(AVX2) && CPU_FEATURE_ACTIVE(POPCNT);
#else
  static const bool have = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    if ((c & bit_POPCNT) == 0 || (c & bit_OSXSAVE) == 0 || (c & bit_AVX) == 0) return false;
    // The system must save the 256-bit registers on a task switch.
    unsigned low = 0, high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 6u) != 6u) return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2) != 0;
  }();
#endif
  return have;
}
#endif

}  // namespace quillmere
