#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillmere::cli {

// Lines of an 8-bit source that the report can pass over once text no
// longer matters and no quoted-printable value is open: they change no fact
// but the card's size and line count.
struct PlainLines {
  const std::byte* end = nullptr;  // where the first line not taken begins
  std::uint64_t lines = 0;
  bool anyHead = false;  // one of them begins a property
};

// A reading takes lines from p, which begins a line inside a card, while each ends in
// CR LF (and has no other CR) within [p, end) and is plain: empty; a fold
// (a tab, or a space before anything that cannot begin a boundary word); or
// a property whose name can be none the report looks at (BEGIN, END, LOGO,
// PHOTO, VERSION) and whose head up to its colon holds no group dot, no
// quote and no Q (nothing that could say QUOTED-PRINTABLE), or that has no
// colon and so goes on the value before it. Lines are found 64 bytes at a
// time, by masks of their CR, LF, colon and those doubtful bytes.
using PlainLinesReading = PlainLines (*)(const std::byte* p, const std::byte* end);

// The reading with the widest vectors this processor has. A reader keeps
// it rather than ask for it again: it is called once or more a card.
PlainLinesReading TakePlainLines();

// Each way TakePlainLines can read on this processor, one byte at a time
// first: they must agree, and tests hold them to it.
std::vector<PlainLinesReading> PlainLinesReadings();

}  // namespace quillmere::cli
