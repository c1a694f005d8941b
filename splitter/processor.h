#pragma once

// What the processor offers the byte searches. The SSE2 and AVX2 paths are
// compiled only where the compiler can target them (x86 with GCC or Clang);
// elsewhere the plain loops run.
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#define QUILLMERE_SSE2 1
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#define QUILLMERE_AVX2 1
#endif

namespace quillmere {

#ifdef QUILLMERE_SSE2
// Every 64-bit x86 has SSE2, and so does every 32-bit x86 that runs a
// Windows of this century; the 32-bit build still asks the processor once
// rather than assume. Inline, so that the 64-bit searches pay nothing.
#ifdef __x86_64__
inline bool HaveSse2() {
  return true;
}
#else
bool HaveSse2();
#endif
#endif
#ifdef QUILLMERE_AVX2
bool HaveAvx2();
#endif

}  // namespace quillmere
