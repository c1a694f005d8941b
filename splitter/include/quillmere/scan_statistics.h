#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace quillmere {

// How the scanner reads the source's bytes, as its first bytes decided.
enum class SourceEncoding {
  Bytes,        // no mark: one byte is one character
  Utf8Mark,     // EF BB BF, then bytes
  Utf16LeMark,  // FF FE, then little-endian 16-bit units
  Utf16BeMark,  // FE FF, then big-endian 16-bit units
  Utf16Le,      // no mark, but an ASCII character then 00
  Utf16Be,      // no mark, but 00 then an ASCII character
};

// What a scan saw of the source's shape, for checking a file and for
// warnings about it. Counted at line ends, so it costs nothing per byte.
// Line numbers count from 1; 0 means none.
struct ScanStatistics {
  static constexpr std::size_t kStrayEndLinesKept = 5;

  SourceEncoding encoding = SourceEncoding::Bytes;
  // Line ends by kind, read greedily from left to right as the scanner does.
  std::uint64_t crLfEnds = 0;
  std::uint64_t lfEnds = 0;
  std::uint64_t crEnds = 0;
  std::uint64_t crCrLfEnds = 0;
  std::uint64_t lines = 0;              // every line, a last one without an end included
  std::uint64_t linesOutsideCards = 0;  // neither in a card nor a card's BEGIN line
  std::uint64_t deepestNesting = 0;     // 1 for plain cards, 2 with an embedded card, ...
  bool anyBeginLine = false;
  std::uint64_t strayEndLines = 0;  // END lines outside any card
  std::array<std::uint64_t, kStrayEndLinesKept> firstStrayEndLines{};
  std::uint64_t unfinishedCardLine = 0;  // where the card the source ended inside begins
  std::uint64_t largestCard = 0;         // its number among the finished cards
  std::uint64_t largestCardBytes = 0;    // as written, mark included
};

}  // namespace quillmere
