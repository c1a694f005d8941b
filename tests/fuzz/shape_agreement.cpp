#include "shape_agreement.h"

#include <algorithm>
#include <vector>

#include "quillmere/card_scanner.h"
#include "quillmere/shape_scan.h"

namespace quillmere::testing {
namespace {

SourceShape ScannerShape(std::span<const std::byte> source) {
  ShapeByScanner scanner;
  scanner.Feed(source);
  return scanner.Finish();
}

// By ShapeInstructions.
const char* const kInstructionNames[] = {"portable", "SSE2", "AVX2"};

// The first field in which `got` is not `want`, or empty.
std::string FieldDifference(const SourceShape& got, const SourceShape& want) {
  const ScanStatistics& g = got.seen;
  const ScanStatistics& w = want.seen;
  const struct {
    const char* name;
    std::uint64_t got, want;
  } fields[] = {
      {"encoding", static_cast<std::uint64_t>(g.encoding), static_cast<std::uint64_t>(w.encoding)},
      {"CR LF ends", g.crLfEnds, w.crLfEnds},
      {"LF ends", g.lfEnds, w.lfEnds},
      {"CR ends", g.crEnds, w.crEnds},
      {"CR CR LF ends", g.crCrLfEnds, w.crCrLfEnds},
      {"lines", g.lines, w.lines},
      {"lines outside cards", g.linesOutsideCards, w.linesOutsideCards},
      {"deepest nesting", g.deepestNesting, w.deepestNesting},
      {"any BEGIN line", g.anyBeginLine, w.anyBeginLine},
      {"stray END lines", g.strayEndLines, w.strayEndLines},
      {"first five stray END lines the same (1 yes, 0 no):", g.firstStrayEndLines == w.firstStrayEndLines, 1},
      {"unfinished card's line", g.unfinishedCardLine, w.unfinishedCardLine},
      {"largest card", g.largestCard, w.largestCard},
      {"largest card's bytes", g.largestCardBytes, w.largestCardBytes},
      {"cards", got.cards, want.cards},
  };
  for (const auto& field : fields) {
    if (field.got != field.want) {
      return std::string(field.name) + " " + std::to_string(field.got) + " where the scanner has " +
             std::to_string(field.want);
    }
  }
  return {};
}

// The longest run of bytes with no CR or LF in it.
std::size_t LongestLine(std::span<const std::byte> source) {
  std::size_t longest = 0, run = 0;
  for (const std::byte b : source) {
    run = (b == std::byte{'\r'} || b == std::byte{'\n'}) ? 0 : run + 1;
    longest = std::max(longest, run);
  }
  return longest;
}

// The most bytes the block reader may have to carry at once: a line can be
// cut after an LF, or after a CR once the byte after it is neither CR nor
// LF, so a run of CRs (any of which may begin an iOS CR CR LF) is carried
// whole with the line before it.
std::size_t LongestCarry(std::span<const std::byte> source) {
  std::size_t longest = 0, since = 0;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const std::byte b = source[i];
    const bool afterCutCr =
        i > 0 && source[i - 1] == std::byte{'\r'} && b != std::byte{'\r'} && b != std::byte{'\n'};
    since = b == std::byte{'\n'} ? 0 : afterCutCr ? 1 : since + 1;
    longest = std::max(longest, since);
  }
  return longest;
}

// The source handed to the block reader `blockBytes` at a time, a line
// carried from one block to the next being allowed `longestLine` bytes.
std::string BlockDifference(std::span<const std::byte> bytes, const SourceShape& want, bool wide,
                            std::size_t longestLine, std::size_t blockBytes) {
  const std::string way =
      "blocks of " + std::to_string(blockBytes) + ", lines up to " + std::to_string(longestLine) + ": ";
  ShapeReader reader(longestLine);
  for (std::size_t at = 0; at < bytes.size(); at += blockBytes) {
    // Each block in memory of its own, as a read buffer is: a read past it
    // is an error under the sanitizers.
    const std::vector<std::byte> block(
        bytes.begin() + static_cast<std::ptrdiff_t>(at),
        bytes.begin() + static_cast<std::ptrdiff_t>(std::min(at + blockBytes, bytes.size())));
    if (!reader.Feed(block)) {
      // Given up: only a UTF-16 source or a line longer than allowed may be
      // left to the scanner.
      if (wide || LongestLine(bytes) + 2 > longestLine || LongestCarry(bytes) > longestLine) return {};
      return way + "left an 8-bit source to the scanner";
    }
  }
  const auto got = reader.Finish();
  if (wide != !got) return way + (wide ? "read a UTF-16 source" : "left an 8-bit source to the scanner");
  if (!got) return {};
  const std::string difference = FieldDifference(*got, want);
  return difference.empty() ? difference : way + difference;
}

// The source cut after LFs into `parts` parts read by readers of their own
// and joined, as --check reads a large file on several threads.
std::string PartsDifference(std::span<const std::byte> bytes, const SourceShape& want, std::size_t parts) {
  std::vector<std::size_t> starts{0};
  for (std::size_t k = 1; k < parts; ++k) {
    std::size_t at = std::max(starts.back() + 1, bytes.size() * k / parts);
    while (at < bytes.size() && bytes[at - 1] != std::byte{'\n'}) ++at;
    if (at >= bytes.size()) break;
    starts.push_back(at);
  }
  starts.push_back(bytes.size());
  const auto part = [&](std::size_t k) { return bytes.subspan(starts[k], starts[k + 1] - starts[k]); };
  ShapeReader first(1 << 20);
  if (!first.Feed(part(0)) || !first.Started()) return {};  // UTF-16, or too short to tell
  const std::uint64_t mark = want.seen.encoding == SourceEncoding::Utf8Mark ? 3 : 0;
  for (std::size_t k = 1; k + 1 < starts.size(); ++k) {
    ShapeReader later(first, starts[k] - mark);
    later.Feed(part(k));
    later.Flush();
    if (first.InsideCard()) {
      first.Feed(part(k));
    } else {
      first.Append(later);
    }
  }
  const auto got = first.Finish();
  if (!got) return "parts: left an 8-bit source to the scanner";
  const std::string difference = FieldDifference(*got, want);
  return difference.empty() ? difference : std::to_string(parts) + " parts read apart: " + difference;
}

}  // namespace

std::string ShapeDifference(const std::string& source, std::size_t threads) {
  // Held exactly, with nothing after it (a string has its NUL), as a
  // mapped file is: a read past the end is an error under the sanitizers.
  const std::vector<std::byte> held(reinterpret_cast<const std::byte*>(source.data()),
                                    reinterpret_cast<const std::byte*>(source.data()) + source.size());
  const std::span<const std::byte> bytes(held);
  const SourceShape want = ScannerShape(bytes);
  const bool wide =
      want.seen.encoding != SourceEncoding::Bytes && want.seen.encoding != SourceEncoding::Utf8Mark;
  for (const ShapeInstructions instructions : ShapeInstructionsHere()) {
    const std::string way = std::string(kInstructionNames[static_cast<int>(instructions)]) + ", " +
                            std::to_string(threads) + " threads: ";
    const auto got = ScanShapeUsing(instructions, threads, bytes);
    if (wide != !got) return way + (wide ? "read a UTF-16 source" : "left an 8-bit source to the scanner");
    if (!got) continue;
    if (const std::string difference = FieldDifference(*got, want); !difference.empty())
      return way + difference;
  }
  if (!wide && threads > 1) {
    if (std::string difference = PartsDifference(bytes, want, threads); !difference.empty())
      return difference;
  }
  if (threads != 1) return {};
  for (const std::size_t longestLine : {64u, 100u, 4096u}) {
    for (const std::size_t block : {1u, 2u, 7u, 64u, 4096u}) {
      if (std::string difference = BlockDifference(bytes, want, wide, longestLine, block);
          !difference.empty())
        return difference;
    }
  }
  return {};
}

}  // namespace quillmere::testing
