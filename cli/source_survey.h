#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quillmere::cli {

// What a source holds, seen the way the splitter reads it, without keeping
// any of it: the facts --check reports and the warnings after a run need.
//
// It follows the splitter's reading exactly: the first bytes choose the
// encoding (a UTF-8 mark; a UTF-16 mark, or none where the first two bytes
// are a NUL and an ASCII byte in either order); CR LF, CR CR LF, a lone CR
// and a lone LF each end one line, taken greedily from the left; a line that
// is BEGIN:VCARD or END:VCARD in any ASCII case with only spaces around it is
// a boundary; BEGIN nests, and an END outside a card is stray. A card's size
// is that of the file a split writes for it: the mark, then CR LF before
// every line and a last CR LF, in the source's units, with the boundary
// lines' spaces left out.
struct SourceFacts {
  enum class Encoding { Empty, Bytes, Utf8Mark, Utf16LeMark, Utf16BeMark, Utf16Le, Utf16Be };
  static constexpr std::size_t kStrayLinesKept = 5;

  Encoding encoding = Encoding::Empty;
  std::uint64_t bytes = 0;
  std::uint64_t crLf = 0, lf = 0, cr = 0, crCrLf = 0;  // line ends by kind
  std::uint64_t lines = 0;
  std::uint64_t cards = 0;  // finished top-level cards: the files a split writes
  std::uint64_t deepestNesting = 0;
  std::uint64_t strayEnds = 0;
  std::vector<std::uint64_t> firstStrayEndLines;  // at most kStrayLinesKept
  std::uint64_t unfinishedCardLine = 0;           // where the unfinished last card begins; 0: none
  std::uint64_t largestCard = 0;                  // its number among the cards; 0: no card
  std::uint64_t largestCardBytes = 0;
  std::uint64_t linesOutsideCards = 0;
  bool anyBegin = false;
};

class SourceSurvey {
 public:
  void Feed(std::span<const std::byte> data);
  // The source has ended; the facts are complete.
  const SourceFacts& Finish();

 private:
  using Encoding = SourceFacts::Encoding;

  void Decide(std::span<const std::byte> head);
  void Scan(std::span<const std::byte> data);
  template <std::size_t kUnitSize, bool kBigEndian>
  void ScanUnits(const std::byte* p, const std::byte* end);
  void TakeUnit(std::uint16_t unit, std::size_t unitSize);
  void TakeContent(std::uint16_t unit, std::size_t unitSize);
  enum class Boundary { None, Begin, End };
  template <std::size_t kUnitSize, bool kBigEndian>
  const std::byte* WholeLine(const std::byte* p, const std::byte* end);
  template <std::size_t kUnitSize, bool kBigEndian>
  static Boundary Classify(const std::byte* p, const std::byte* end);
  void EndLine();
  void LineDone(Boundary boundary, std::uint64_t contentBytes) {
    ++facts_.lines;
    // Nearly every line: one inside a card.
    if (boundary == Boundary::None && depth_ > 0) {
      cardBytes_ += contentBytes + 2 * unitSize_;
    } else {
      BoundaryOrOutsideLine(boundary, contentBytes);
    }
  }
  void BoundaryOrOutsideLine(Boundary boundary, std::uint64_t contentBytes);
  void SettleCr(std::uint64_t& kind);

  SourceFacts facts_;
  std::byte head_[3] = {};
  std::size_t headBytes_ = 0;
  bool decided_ = false;
  std::size_t markBytes_ = 0;
  std::size_t unitSize_ = 1;
  std::byte oddByte_{};
  bool hasOddByte_ = false;

  int pendingCr_ = 0;
  bool lineStarted_ = false;
  // The boundary word being matched at the start of a line.
  enum class Match { Leading, Word, Trailing, Fail } match_ = Match::Leading;
  const char* expected_ = nullptr;
  std::size_t matched_ = 0;
  std::uint64_t lineBytes_ = 0;  // of the current line, as far as read

  std::uint64_t depth_ = 0;
  std::uint64_t cardBytes_ = 0;  // of the card being read, as a split writes it
  std::uint64_t cardLine_ = 0;   // where it began
};

const char* EncodingName(SourceFacts::Encoding encoding);

}  // namespace quillmere::cli
