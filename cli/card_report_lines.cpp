#include "card_report_lines.h"

#include <bit>
#include <cstring>

#include "byte_vectors.h"
#include "processor.h"
#include "quillmere/line_ends.h"

namespace quillmere::cli {
namespace {

constexpr std::size_t kWindow = 64;

// One bit per byte of a 64-byte window, bit i for byte i.
struct LineMasks {
  std::uint64_t lf = 0, cr = 0, colon = 0;
  std::uint64_t doubt = 0;  // a dot, a quote, or a Q in either case
};

// Written once over the byte vectors: inlined into each reading below, it is
// compiled there for that reading's vector.
template <class Vector>
[[gnu::always_inline]] inline LineMasks Classify(const std::byte* p) {
  LineMasks m;
  const Vector caseBit = Vector::Splat(0x20);
  for (std::size_t lane = 0; lane < kWindow; lane += Vector::kLanes) {
    const Vector v = Vector::Load(p + lane);
    m.lf |= v.Equals(Vector::Splat('\n')).Bits() << lane;
    m.cr |= v.Equals(Vector::Splat('\r')).Bits() << lane;
    m.colon |= v.Equals(Vector::Splat(':')).Bits() << lane;
    const Vector doubt = v.Equals(Vector::Splat('.')) | v.Equals(Vector::Splat('"')) |
                         (v | caseBit).Equals(Vector::Splat('q'));
    m.doubt |= doubt.Bits() << lane;
  }
  return m;
}

// Bits [0, n) of a mask; n below 64.
[[gnu::always_inline]] inline std::uint64_t Below(std::size_t n) {
  return (std::uint64_t{1} << n) - 1;
}

enum class Start { Fold, Head, Doubtful };

// Eight bytes at p, as one word in the machine's order.
[[gnu::always_inline]] inline std::uint64_t Eight(const void* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Whether a fold whose first byte after its space is B or E may still be
// a boundary line: its next eight bytes, letters in lower case, begin a
// boundary word. (Bytes that only the case bit tells from those also
// match, which costs no more than a look at the line the slow way.)
[[gnu::always_inline]] inline bool MayBeBoundary(const std::byte* word) {
  constexpr std::uint64_t kCaseBits = 0x2020202020202020u;
  const std::uint64_t lower = Eight(word) | kCaseBits;
  return lower == Eight("begin:vc") || lower == Eight("end:vcar");
}

constexpr unsigned Pair(char first, char second) {
  return static_cast<unsigned>(first) << 8 | static_cast<unsigned>(second);
}

// What the line at p (not a line end) can be; at least nine bytes from p
// may be read. Spaces before a boundary word may begin a boundary line; a
// name that begins as BEGIN, END, PHOTO, LOGO or VERSION does may be one
// of them.
[[gnu::always_inline]] inline Start StartOf(const std::byte* p) {
  const auto one = std::to_integer<unsigned>(p[0]), two = std::to_integer<unsigned>(p[1]) | 0x20u;
  if (one == '\t') return Start::Fold;
  if (one == ' ') return two == ' ' || ((two == 'b' || two == 'e') && MayBeBoundary(p + 1)) ? Start::Doubtful : Start::Fold;
  switch (((one | 0x20u) << 8) | two) {
    case Pair('b', 'e'):
    case Pair('e', 'n'):
    case Pair('p', 'h'):
    case Pair('l', 'o'):
    case Pair('v', 'e'):
      return Start::Doubtful;
    default:
      return Start::Head;
  }
}

// A line of 64 bytes or more, at p: its head is judged from the window's
// masks, its end found by the line-end search. Returns where the next line
// begins, or nothing if the line is not plain.
[[gnu::always_inline]] inline const std::byte* LongLine(const std::byte* p, const std::byte* end,
                                                       const LineMasks& m, bool& head) {
  const Start start = StartOf(p);
  if (start == Start::Doubtful) return nullptr;
  head = start == Start::Head;
  const auto colon = static_cast<std::size_t>(std::countr_zero(m.colon));
  if (head && (m.colon == 0 || (m.doubt & Below(colon)) != 0)) return nullptr;
  const std::byte* const q = FindLineEnd<1>(p, end);
  if (end - q < 2 || q[0] != std::byte{'\r'} || q[1] != std::byte{'\n'}) return nullptr;
  if (head && static_cast<std::size_t>(q - p) < colon) return nullptr;
  return q + 2;
}

// Each window begins where a line begins, and is read while its lines end
// inside it; the line that goes past it begins the next.
template <class Vector>
[[gnu::always_inline]] inline PlainLines Take(const std::byte* p, const std::byte* const end) {
  PlainLines run;
  // Nine bytes from any line start in the window may be read.
  while (end - p > static_cast<std::ptrdiff_t>(kWindow + 8)) {
    const std::byte* const window = p;
    const LineMasks m = Classify<Vector>(window);
    std::size_t at = 0;
    for (std::uint64_t lfs = m.lf; lfs != 0; lfs = m.lf >> at) {
      const std::size_t lf = at + static_cast<std::size_t>(std::countr_zero(lfs));
      // One CR, right before the LF.
      if (lf == at || ((m.cr >> at) & Below(lf - at)) != std::uint64_t{1} << (lf - 1 - at)) {
        run.end = p;
        return run;
      }
      if (lf - at > 1) {
        const Start start = StartOf(window + at);
        const std::uint64_t colons = (m.colon >> at) & Below(lf - at);
        if (start == Start::Doubtful ||
            (start == Start::Head &&
             (colons == 0 || ((m.doubt >> at) & Below(static_cast<std::size_t>(std::countr_zero(colons)))) != 0))) {
          run.end = p;
          return run;
        }
        run.anyHead = run.anyHead || start == Start::Head;
      }
      ++run.lines;
      at = lf + 1;
      p = window + at;
      if (at == kWindow) break;
    }
    if (p == window) {
      bool head = false;
      const std::byte* const next = LongLine(p, end, m, head);
      if (!next) break;
      run.anyHead = run.anyHead || head;
      ++run.lines;
      p = next;
    }
  }
  run.end = p;
  return run;
}

using Reading = PlainLines (*)(const std::byte*, const std::byte*);

PlainLines TakePortable(const std::byte* p, const std::byte* end) {
  return Take<PortableBytes>(p, end);
}

#ifdef QUILLMERE_SSE2
__attribute__((target("sse2"))) PlainLines TakeSse2(const std::byte* p, const std::byte* end) {
  return Take<Sse2Bytes>(p, end);
}
#endif

#ifdef QUILLMERE_AVX2
__attribute__((target("avx2,popcnt"))) PlainLines TakeAvx2(const std::byte* p, const std::byte* end) {
  return Take<Avx2Bytes>(p, end);
}
#endif

Reading BestReading() {
#ifdef QUILLMERE_AVX2
  if (HaveAvx2()) return TakeAvx2;
#endif
#ifdef QUILLMERE_SSE2
  if (HaveSse2()) return TakeSse2;
#endif
  return TakePortable;
}

}  // namespace

PlainLines TakePlainLines(const std::byte* p, const std::byte* end) {
  static const Reading read = BestReading();
  return read(p, end);
}

}  // namespace quillmere::cli
