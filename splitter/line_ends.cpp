#include "quillmere/line_ends.h"

#include <cstdint>

#include "processor.h"

#ifdef QUILLMERE_SSE2
#include <emmintrin.h>
#endif

namespace quillmere {
namespace {

template <std::size_t kUnitSize, bool kBigEndian>
bool IsLineEnd(const std::byte* p) {
  if constexpr (kUnitSize == 1) {
    return *p == std::byte{'\r'} || *p == std::byte{'\n'};
  } else {
    const std::byte high = p[kBigEndian ? 0 : 1];
    const std::byte low = p[kBigEndian ? 1 : 0];
    return high == std::byte{0} && (low == std::byte{'\r'} || low == std::byte{'\n'});
  }
}

#ifdef QUILLMERE_SSE2

// One bit per byte of the 16 at p that belongs to a CR or LF unit (for 16-bit
// units, both bytes of the unit are set).
template <std::size_t kUnitSize, bool kBigEndian>
__attribute__((target("sse2"))) unsigned LineEndMask(const std::byte* p) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i hits;
  if constexpr (kUnitSize == 1) {
    hits =
        _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(block, _mm_set1_epi8('\n')));
  } else {
    // Loaded as little-endian 16-bit lanes, a big-endian CR reads 0x0D00.
    const short cr = kBigEndian ? 0x0D00 : 0x000D;
    const short lf = kBigEndian ? 0x0A00 : 0x000A;
    hits =
        _mm_or_si128(_mm_cmpeq_epi16(block, _mm_set1_epi16(cr)), _mm_cmpeq_epi16(block, _mm_set1_epi16(lf)));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

template <std::size_t kUnitSize, bool kBigEndian>
__attribute__((target("sse2"))) const std::byte* FindLineEndSse2(const std::byte* begin,
                                                                 const std::byte* end) {
  constexpr std::size_t kBlock = 16;
  const std::byte* p = begin;
  for (; end - p >= static_cast<std::ptrdiff_t>(kBlock); p += kBlock) {
    if (const unsigned mask = LineEndMask<kUnitSize, kBigEndian>(p)) return p + __builtin_ctz(mask);
  }
  if (p == end) return end;
  if (end - begin >= static_cast<std::ptrdiff_t>(kBlock)) {
    // The last block overlaps ones already searched: drop their bytes.
    // (kBlock - tail is even for 16-bit units, so units stay whole.)
    const auto tail = static_cast<unsigned>(end - p);
    const unsigned mask = LineEndMask<kUnitSize, kBigEndian>(end - kBlock) >> (kBlock - tail);
    return mask ? p + __builtin_ctz(mask) : end;
  }
  return FindLineEndPortable<kUnitSize, kBigEndian>(p, end);
}
#endif

}  // namespace

template <std::size_t kUnitSize, bool kBigEndian>
const std::byte* FindLineEndPortable(const std::byte* begin, const std::byte* end) {
  for (const std::byte* p = begin; p < end; p += kUnitSize) {
    if (IsLineEnd<kUnitSize, kBigEndian>(p)) return p;
  }
  return end;
}

template <std::size_t kUnitSize, bool kBigEndian>
const std::byte* FindLineEnd(const std::byte* begin, const std::byte* end) {
#ifdef QUILLMERE_SSE2
  if (HaveSse2()) return FindLineEndSse2<kUnitSize, kBigEndian>(begin, end);
#endif
  return FindLineEndPortable<kUnitSize, kBigEndian>(begin, end);
}

template const std::byte* FindLineEnd<1, false>(const std::byte*, const std::byte*);
template const std::byte* FindLineEnd<2, false>(const std::byte*, const std::byte*);
template const std::byte* FindLineEnd<2, true>(const std::byte*, const std::byte*);
template const std::byte* FindLineEndPortable<1, false>(const std::byte*, const std::byte*);
template const std::byte* FindLineEndPortable<2, false>(const std::byte*, const std::byte*);
template const std::byte* FindLineEndPortable<2, true>(const std::byte*, const std::byte*);

}  // namespace quillmere
