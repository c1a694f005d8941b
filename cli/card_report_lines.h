#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillmere::cli {

// Whether the line at p surely begins a property, ending the one before
// it: it is no fold, and a colon comes in its first bytes before any quote
// or line end. Otherwise it may go on the value before it (a fold, or a
// line with no colon outside quotes).
inline bool StartsProperty(const std::byte* p, const std::byte* end) {
  constexpr std::ptrdiff_t kLooked = 16;
  if (p == end || *p == std::byte{' '} || *p == std::byte{'\t'}) return false;
  for (const std::byte* const last = p + std::min(end - p, kLooked); p < last; ++p) {
    const auto c = std::to_integer<char>(*p);
    if (c == ':') return true;
    if (c == '"' || c == '\r' || c == '\n') return false;
  }
  return false;
}

// A card's end that a reading of plain lines went past: its "END:VCARD"
// line, then the next card's "BEGIN:VCARD" and a VERSION line of three
// characters (not 2.1, after which text matters again), each as it is and
// ending in CR LF, and after them a line that surely begins a property.
// The reading goes on with the next card's lines as if called afresh there.
struct CardCrossing {
  const std::byte* end;  // where the END line begins
  std::uint64_t lines;   // lines the reading took before it
};
// The first line of such a crossing, and all three lines.
inline constexpr std::size_t kEndLineBytes = 11, kCrossingBytes = 37;
// A reading goes past at most this many card ends at once: few enough to
// hand over while they are still in the cache.
inline constexpr std::size_t kMostCrossings = 32;

// Lines of an 8-bit source that the report can pass over once text no
// longer matters and no quoted-printable value is open: they change no fact
// but the card's size and line count.
struct PlainLines {
  const std::byte* end = nullptr;  // where the first line not taken begins
  std::uint64_t lines = 0;         // all taken, those of crossings among them
  bool anyHead = false;            // one of them, after the last crossing, begins a property
  std::size_t crossings = 0;
  CardCrossing crossing[kMostCrossings];
};

// A reading takes lines from p, which begins a line inside a card, while each ends in
// CR LF (and has no other CR) within [p, end) and is plain: empty; a fold
// (a tab, or a space before anything that cannot begin a boundary word); or
// a property whose name can be none the report looks at (BEGIN, END, LOGO,
// PHOTO, VERSION) and whose head up to its colon holds no group dot, no
// quote and no Q (nothing that could say QUOTED-PRINTABLE), or that has no
// colon and so goes on the value before it. With `crossCards` (the card is
// no card's inner one) it also goes past card ends as CardCrossing tells.
// Lines are found 64 bytes at a time, by masks of their CR, LF, colon and
// those doubtful bytes.
using PlainLinesReading = PlainLines (*)(const std::byte* p, const std::byte* end, bool crossCards);

// The reading with the widest vectors this processor has. A reader keeps
// it rather than ask for it again: it is called often.
PlainLinesReading TakePlainLines();

// Each way TakePlainLines can read on this processor, one byte at a time
// first: they must agree, and tests hold them to it.
std::vector<PlainLinesReading> PlainLinesReadings();

}  // namespace quillmere::cli
