#include "card_report_lines.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "byte_vectors.h"
#include "processor.h"

namespace quillmere::cli {
namespace {

constexpr std::size_t kWindow = 64;
// A window is read with the bytes after it that tell what a line that
// begins at its end can be (DoubtfulStart).
constexpr std::size_t kWindowSpan = kWindow + 9;

// One bit per byte of a 64-byte window, bit i for byte i.
struct LineMasks {
  std::uint64_t lf = 0, cr = 0;
  std::uint64_t headEnd = 0;  // a colon or an LF
  std::uint64_t doubt = 0;    // in a head: a group's dot, a quote, or a Q in either case
};

// Lanes of v that are c.
template <class Vector>
[[gnu::always_inline]] inline Vector Is(const Vector& v, char c) {
  return v.Equals(Vector::Splat(c));
}

// Written once over the byte vectors: inlined into each reading below, it is
// compiled there for that reading's vector.
template <class Vector>
[[gnu::always_inline]] inline LineMasks Classify(const std::byte* p) {
  LineMasks m;
  const Vector caseBit = Vector::Splat(0x20);
  for (std::size_t lane = 0; lane < kWindow; lane += Vector::kLanes) {
    const Vector v = Vector::Load(p + lane);
    const Vector lf = Is(v, '\n');
    m.lf |= lf.Bits() << lane;
    m.cr |= Is(v, '\r').Bits() << lane;
    m.headEnd |= (Is(v, ':') | lf).Bits() << lane;
    m.doubt |= (Is(v, '.') | Is(v, '"') | Is(v | caseBit, 'q')).Bits() << lane;
  }
  return m;
}

// Bits [0, n) of a mask; n below 64.
[[gnu::always_inline]] inline std::uint64_t Below(int n) {
  return (std::uint64_t{1} << n) - 1;
}

// Eight bytes at p, as one word in the machine's order.
[[gnu::always_inline]] inline std::uint64_t Eight(const void* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// For each first letter of a name, in lower case, the second letter that
// makes it begin as BEGIN, END, LOGO, PHOTO or VERSION does; 0 for others.
constexpr auto kDoubtfulSecond = [] {
  std::array<char, 256> second{};
  second['b'] = 'e';
  second['e'] = 'n';
  second['l'] = 'o';
  second['p'] = 'h';
  second['v'] = 'e';
  return second;
}();

// What a line's first byte tells: whether it begins a property's head (it
// is no fold and no CR), and whether the line may be doubtful
// (DoubtfulStart): a space, or a byte that begins a doubtful name.
constexpr unsigned char kHeadStart = 1, kMayBeDoubtful = 2;
constexpr auto kStartKinds = [] {
  std::array<unsigned char, 256> kinds{};
  for (std::size_t c = 0; c < kinds.size(); ++c)
    kinds[c] = kHeadStart | (kDoubtfulSecond[c | 0x20u] != 0 ? kMayBeDoubtful : 0);
  kinds[' '] = kMayBeDoubtful;
  kinds['\t'] = kinds['\r'] = 0;
  return kinds;
}();

// Whether a line that begins at p, with nine bytes readable and the block
// going on to `end`, may be other than plain by how it begins: spaces
// before a boundary word may make a boundary line, and a name that begins
// as BEGIN, END, PHOTO, LOGO or VERSION does may be one of them. Bytes that
// only the case bit tells from a letter count as that letter: they only
// send a line the slower way.
[[gnu::always_inline]] inline bool DoubtfulStart(const std::byte* p, const std::byte* end) {
  constexpr std::uint64_t kCaseBits = 0x2020202020202020u;
  const auto first = std::to_integer<unsigned char>(p[0]);
  const auto second = static_cast<char>(std::to_integer<unsigned char>(p[1]) | 0x20u);
  if (first != ' ') return kDoubtfulSecond[first | 0x20u] == second && second != 0;
  const std::byte* word = p + 1;
  if (second == ' ') {
    // A fold whose value begins with spaces, as folded text often does:
    // what follows the spaces tells.
    while (word < end && *word == std::byte{' '}) ++word;
    if (end - word < 8) return true;
  }
  const std::uint64_t letters = Eight(word) | kCaseBits;
  return letters == Eight("begin:vc") || letters == Eight("end:vcar");
}

// Whether one of the lines from `line` to `end` (where a line ends) begins
// a property's head.
bool AnyHead(const std::byte* line, const std::byte* const end) {
  while (line < end) {
    if ((kStartKinds[std::to_integer<unsigned char>(*line)] & kHeadStart) != 0) return true;
    line = static_cast<const std::byte*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line))) + 1;
  }
  return false;
}

// Whether a card ends at p and the next begins as CardCrossing tells,
// with a byte of the block after its VERSION line at least.
[[gnu::always_inline]] inline bool CrossesCard(const std::byte* p, const std::byte* end) {
  if (end - p <= static_cast<std::ptrdiff_t>(kCrossingBytes)) return false;
  if (Eight(p) != Eight("END:VCAR") || Eight(p + 8) != Eight("D\r\nBEGIN") ||
      Eight(p + 16) != Eight(":VCARD\r\n") || Eight(p + 24) != Eight("VERSION:"))
    return false;
  const auto* const version = reinterpret_cast<const unsigned char*>(p + 32);
  const auto digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
  if (!digit(version[0]) || version[1] != '.' || !digit(version[2]) || version[3] != '\r' ||
      version[4] != '\n' || (version[0] == '2' && version[2] == '1'))
    return false;
  return StartsProperty(p + kCrossingBytes, end);
}

// The windows follow one another from p, each byte looked at once. A line
// is judged by bits of the windows it lies in: where it starts, where its
// head (from its start to its first colon or LF) runs, where its CR and LF
// are. The first bit that makes a line not plain ends the run at that
// line's start, unless it is a card's end that the run may go past: the
// windows then follow one another afresh from the next card's third line.
template <class Vector>
[[gnu::always_inline]] inline PlainLines Take(const std::byte* const p, const std::byte* const end,
                                              bool crossCards) {
  // The crossings are left unset: only those counted are read. The rest is
  // kept apart from them while the windows are read, where the compiler
  // can hold it in registers.
  PlainLines run;
  const std::byte* runEnd = p;
  std::uint64_t lines = 0;
  std::size_t crossings = 0;
  const std::byte* window = p;
  std::uint64_t lineStarts = 1;  // bit 0 of the window and of the one after a final LF
  std::uint64_t crBefore = 0;    // the window before ended in a CR
  bool headCarry = false;        // a head runs on into this window
  while (end - window >= static_cast<std::ptrdiff_t>(kWindowSpan)) {
    const LineMasks m = Classify<Vector>(window);
    const std::uint64_t starts = (m.lf << 1) | lineStarts;
    // Where the bytes after CRs and the LFs differ: an LF with no CR before
    // it, or the byte after a CR that is no LF, one past that CR (or at the
    // next window's start), which only an LF could have ended a line at.
    const std::uint64_t badEnds = ((m.cr << 1) | crBefore) ^ m.lf;
    // How lines begin is looked at one line at a time, up to the first
    // doubtful one: a window holds few lines. Heads after that one are not
    // needed: no line from it on is taken.
    std::uint64_t doubtful = 0, heads = 0;
    for (std::uint64_t left = starts; left != 0; left &= left - 1) {
      const int at = std::countr_zero(left);
      const unsigned kind = kStartKinds[std::to_integer<unsigned char>(window[at])];
      heads |= std::uint64_t{kind & kHeadStart} << at;
      if ((kind & kMayBeDoubtful) != 0 && DoubtfulStart(window + at, end)) {
        doubtful = std::uint64_t{1} << at;
        break;
      }
    }
    // A head's bytes are a run of bits that are neither colon nor LF, from
    // a line's start; adding the run's first bit carries past it onto the
    // colon or LF that ends it, which may lie in a later window.
    const std::uint64_t open = ~m.headEnd;
    std::uint64_t sum, carried;
    const bool carryOut = __builtin_add_overflow(open, heads & open, &sum) |
                          __builtin_add_overflow(sum, std::uint64_t{headCarry}, &carried);
    const std::uint64_t inHeads = open & ~carried;
    // A head that meets its LF before a colon is no head: the line goes on
    // the value of the plain property before it, and stays plain.
    const std::uint64_t bad = badEnds | (inHeads & m.doubt) | doubtful;
    // The lines taken are those whose LF comes before the first bad bit.
    const std::uint64_t taken = bad ? m.lf & Below(std::countr_zero(bad)) : m.lf;
    if (taken != 0) {
      const int last = 63 - std::countl_zero(taken);
      lines += static_cast<std::uint64_t>(std::popcount(taken));
      runEnd = window + last + 1;
    }
    if (bad) {
      // All lines before the doubtful one were taken: runEnd is its start.
      const bool firstIsDoubtful = (bad & (doubtful - 1)) == 0 && doubtful != 0;
      if (!firstIsDoubtful || !crossCards || crossings == kMostCrossings || !CrossesCard(runEnd, end)) break;
      run.crossing[crossings++] = {runEnd, lines};
      lines += 3;
      runEnd += kCrossingBytes;
      window = runEnd;
      lineStarts = 1;
      crBefore = 0;
      headCarry = false;
      continue;
    }
    lineStarts = m.lf >> 63;
    crBefore = m.cr >> 63;
    headCarry = carryOut;
    window += kWindow;
  }
  run.end = runEnd;
  run.lines = lines;
  // Whether a line taken after the last crossing begins a head: asked once
  // here, not window by window. The first line after a crossing does.
  run.anyHead = AnyHead(crossings != 0 ? run.crossing[crossings - 1].end + kCrossingBytes : p, runEnd);
  run.crossings = crossings;
  return run;
}

PlainLines TakePortable(const std::byte* p, const std::byte* end, bool crossCards) {
  return Take<PortableBytes>(p, end, crossCards);
}

#ifdef QUILLMERE_SSE2
__attribute__((target("sse2"))) PlainLines TakeSse2(const std::byte* p, const std::byte* end,
                                                    bool crossCards) {
  return Take<Sse2Bytes>(p, end, crossCards);
}
#endif

#ifdef QUILLMERE_AVX2
// Every processor with AVX2 but a few has the bit instructions too: the
// masks then cost fewer instructions (andn, blsr, tzcnt, shifts by a
// register).
__attribute__((target("avx2,popcnt,bmi,bmi2"))) PlainLines TakeAvx2(const std::byte* p, const std::byte* end,
                                                                    bool crossCards) {
  return Take<Avx2Bytes>(p, end, crossCards);
}

bool HaveAvx2Bits() {
  __builtin_cpu_init();
  return HaveAvx2() && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}
#endif

}  // namespace

PlainLinesReading TakePlainLines() {
#ifdef QUILLMERE_AVX2
  if (HaveAvx2Bits()) return TakeAvx2;
#endif
#ifdef QUILLMERE_SSE2
  if (HaveSse2()) return TakeSse2;
#endif
  return TakePortable;
}

std::vector<PlainLinesReading> PlainLinesReadings() {
  std::vector<PlainLinesReading> readings{TakePortable};
#ifdef QUILLMERE_SSE2
  if (HaveSse2()) readings.push_back(TakeSse2);
#endif
#ifdef QUILLMERE_AVX2
  if (HaveAvx2Bits()) readings.push_back(TakeAvx2);
#endif
  return readings;
}

}  // namespace quillmere::cli
