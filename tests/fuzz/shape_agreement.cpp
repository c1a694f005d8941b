#include "shape_agreement.h"

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
  return {};
}

}  // namespace quillmere::testing
