#pragma once
#include <cstddef>
#include <cstdint>

#include "processor.h"

#ifdef QUILLMERE_SSE2
#include <emmintrin.h>
#endif
#ifdef QUILLMERE_AVX2
#include <immintrin.h>
#endif

// Small vectors of bytes, one type per instruction set, with the same few
// members: load a run of bytes, fill with one byte, compare lane by lane
// (a lane that matches is all ones), combine, and take one bit per lane.
// A byte search written once over these members is compiled for each set.
//
// The members carry their instruction set, so code written over them
// carries none: it is always_inline, and lands in a function compiled for
// the set (a target attribute), where the members then inline too. Each
// member stands for one instruction; a call to one would cost more than it.

namespace quillmere {

// One byte: the plain reading, and the one the others are held to.
struct PortableBytes {
  static constexpr std::size_t kLanes = 1;
  unsigned char v;

  static PortableBytes Load(const std::byte* p) { return {std::to_integer<unsigned char>(*p)}; }
  static PortableBytes Splat(char c) { return {static_cast<unsigned char>(c)}; }
  PortableBytes Equals(const PortableBytes& o) const {
    return {static_cast<unsigned char>(v == o.v ? 0xFF : 0x00)};
  }
  PortableBytes operator|(const PortableBytes& o) const { return {static_cast<unsigned char>(v | o.v)}; }
  PortableBytes operator&(const PortableBytes& o) const { return {static_cast<unsigned char>(v & o.v)}; }
  std::uint64_t Bits() const { return v >> 7; }
};

#ifdef QUILLMERE_SSE2
struct Sse2Bytes {
  static constexpr std::size_t kLanes = 16;
  __m128i v;

  __attribute__((target("sse2"))) static Sse2Bytes Load(const std::byte* p) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))};
  }
  __attribute__((target("sse2"))) static Sse2Bytes Splat(char c) { return {_mm_set1_epi8(c)}; }
  __attribute__((target("sse2"))) Sse2Bytes Equals(const Sse2Bytes& o) const {
    return {_mm_cmpeq_epi8(v, o.v)};
  }
  __attribute__((target("sse2"))) Sse2Bytes operator|(const Sse2Bytes& o) const {
    return {_mm_or_si128(v, o.v)};
  }
  __attribute__((target("sse2"))) Sse2Bytes operator&(const Sse2Bytes& o) const {
    return {_mm_and_si128(v, o.v)};
  }
  __attribute__((target("sse2"))) std::uint64_t Bits() const {
    return static_cast<unsigned>(_mm_movemask_epi8(v)) & 0xFFFFu;
  }
};
#endif

#ifdef QUILLMERE_AVX2
struct Avx2Bytes {
  static constexpr std::size_t kLanes = 32;
  __m256i v;

  __attribute__((target("avx2"))) static Avx2Bytes Load(const std::byte* p) {
    return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))};
  }
  __attribute__((target("avx2"))) static Avx2Bytes Splat(char c) { return {_mm256_set1_epi8(c)}; }
  __attribute__((target("avx2"))) Avx2Bytes Equals(const Avx2Bytes& o) const {
    return {_mm256_cmpeq_epi8(v, o.v)};
  }
  __attribute__((target("avx2"))) Avx2Bytes operator|(const Avx2Bytes& o) const {
    return {_mm256_or_si256(v, o.v)};
  }
  __attribute__((target("avx2"))) Avx2Bytes operator&(const Avx2Bytes& o) const {
    return {_mm256_and_si256(v, o.v)};
  }
  __attribute__((target("avx2"))) std::uint64_t Bits() const {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(v));
  }
};
#endif

}  // namespace quillmere
