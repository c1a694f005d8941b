#include "card_report.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string_view>

#include "card_report_content.h"
#include "card_report_lines.h"
#include "quillmere/card_scanner.h"
#include "quillmere/line_ends.h"

namespace quillmere::cli {

// Follows the source as the splitter's scanner reads it: the same line
// ends (CR LF, CR CR LF, a lone CR, a lone LF, greedily; a CR's kind is
// settled by what follows it), the same boundary lines and nesting, the
// same card sizes. Lines are found with the scanner's own line-end search
// and handed on as runs; only a line's first characters are looked at one
// by one, to tell a boundary line. Nothing is copied but what a boundary
// matcher holds.
class CardReport::Reader {
 public:
  Reader(Row row, void* context) : row_(row), context_(context) {}

  void Feed(std::span<const std::byte> data) {
    summary_.bytes += data.size();
    if (!decided_) {
      const std::size_t take = std::min(sizeof head_ - headBytes_, data.size());
      std::copy_n(data.begin(), take, head_ + headBytes_);
      headBytes_ += take;
      data = data.subspan(take);
      if (headBytes_ < sizeof head_) return;
      Decide();
    }
    Scan(data);
  }

  const ReportSummary& Finish() {
    if (!decided_) Decide();
    if (hasOddByte_) {
      // The lone last byte of a UTF-16 source: part of the last line.
      hasOddByte_ = false;
      if (pendingCr_ != 0) Settle(kNoCharacter);
      lineBytes_ += 1;
      lineStarted_ = true;
      match_ = Match::Failed;
    }
    if (pendingCr_ != 0) Settle(kNoCharacter);
    if (lineStarted_) EndLine(End::None);
    summary_.unfinishedCardLine = depth_ > 0 ? card_.firstLine : 0;
    return summary_;
  }

 private:
  enum class End { CrLf, Lf, Cr, CrCrLf, None };
  enum class Match { Leading, Word, Trailing, Failed };
  using ContentTake = void (CardContent::*)(const std::byte*, const std::byte*);

  void Decide() {
    std::size_t markBytes = 0;
    const std::span<const std::byte> head(head_, headBytes_);
    summary_.encoding = EncodingOf(head, markBytes);
    markBytes_ = markBytes;
    switch (summary_.encoding) {
      case SourceEncoding::Bytes:
      case SourceEncoding::Utf8Mark:
        unitBytes_ = 1;
        take_ = &CardContent::Take<1, false>;
        break;
      case SourceEncoding::Utf16Le:
      case SourceEncoding::Utf16LeMark:
        unitBytes_ = 2;
        take_ = &CardContent::Take<2, false>;
        break;
      case SourceEncoding::Utf16Be:
      case SourceEncoding::Utf16BeMark:
        unitBytes_ = 2;
        bigEndian_ = true;
        take_ = &CardContent::Take<2, true>;
        break;
    }
    content_.emplace(unitBytes_);
    decided_ = true;
    Scan(head.subspan(markBytes));
  }

  void Scan(std::span<const std::byte> data) {
    if (unitBytes_ == 1) return ScanUnits<1, false>(data.data(), data.data() + data.size());
    const auto scan = bigEndian_ ? &Reader::ScanUnits<2, true> : &Reader::ScanUnits<2, false>;
    if (hasOddByte_ && !data.empty()) {
      const std::byte unit[2] = {oddByte_, data[0]};
      hasOddByte_ = false;
      data = data.subspan(1);
      (this->*scan)(unit, unit + 2);
    }
    const std::size_t even = data.size() & ~std::size_t{1};
    if (even < data.size()) {
      oddByte_ = data[even];
      hasOddByte_ = true;
    }
    (this->*scan)(data.data(), data.data() + even);
  }

  template <std::size_t kUnitSize, bool kBigEndian>
  void ScanUnits(const std::byte* p, const std::byte* const end) {
    while (p < end) {
      if constexpr (kUnitSize == 1) {
        if (pendingCr_ == 0 && !lineStarted_) {
          p = TakeWholeLines(p, end);
          if (p == end) return;
        }
      }
      if (pendingCr_ != 0) {
        if (Settle(Decode<kUnitSize, kBigEndian>(p))) p += kUnitSize;
        continue;
      }
      if (!lineStarted_ && depth_ > 0) {
        p = TakeFoldedLines<kUnitSize, kBigEndian>(p, end);
        if (p == end) return;
      }
      const std::byte* q = FindLineEnd<kUnitSize, kBigEndian>(p, end);
      if (q != p) TakeLine<kUnitSize, kBigEndian>(p, q);
      if (q == end) return;
      p = q + kUnitSize;
      if (Decode<kUnitSize, kBigEndian>(q) == kLf) {
        EndLine(End::Lf);
      } else if (p < end && Decode<kUnitSize, kBigEndian>(p) == kLf) {
        EndLine(End::CrLf);
        p += kUnitSize;
      } else {
        pendingCr_ = 1;
      }
    }
  }

  // The lines of an 8-bit source that start at p and end within the block
  // in an LF or a CR LF, read a line at a time; returns where the first
  // line that does not begins (its end is a CR whose kind is not known yet,
  // or past the block).
  const std::byte* TakeWholeLines(const std::byte* p, const std::byte* const end) {
    while (p < end) {
      if (depth_ > 0 && content_->InPicture()) {
        p = TakePictureFolds(p, end);
        if (p == end) return p;
      }
      if (depth_ > 0 && content_->TakesPlainLines()) {
        // An inner card's end is left to EndLine, which keeps the depth.
        const PlainLines run = takePlainLines_(p, end, depth_ == 1);
        if (run.crossings != 0) {
          TakeCrossedCards(p, run);
        } else {
          summary_.lines += run.lines;
          card_.crLf += run.lines;
          cardBytes_ += static_cast<std::uint64_t>(run.end - p);
          if (run.anyHead) content_->TookPlainHead();
        }
        p = run.end;
      }
      if (const std::byte* const next = depth_ == 0 ? OpenCard(p, end) : CloseCard(p, end)) {
        p = next;
        continue;
      }
      const std::byte* const q = FindLineEnd<1, false>(p, end);
      if (q == end) return p;
      const bool crLf = *q == std::byte{'\r'};
      if (crLf && (end - q < 2 || q[1] != std::byte{'\n'})) return p;
      if (depth_ > 0 && content_->Skim(p, q, end)) {
        ++summary_.lines;
        cardBytes_ += static_cast<std::uint64_t>(q - p) + 2;
        ++(crLf ? card_.crLf : card_.lf);
      } else {
        WholeLine(p, q, crLf ? End::CrLf : End::Lf, end);
      }
      p = q + (crLf ? 2 : 1);
    }
    return p;
  }

  // A run of plain lines from p that went past card ends: the card it began
  // in ends at the first, those between are whole, and the last goes on.
  void TakeCrossedCards(const std::byte* p, const PlainLines& run) {
    const std::uint64_t linesBefore = summary_.lines;
    const CardCrossing* const crossing = run.crossing;
    card_.crLf += crossing[0].lines + 1;
    cardBytes_ += static_cast<std::uint64_t>(crossing[0].end - p) + kEndLineBytes;
    FinishCard();
    // A card between two crossings holds plain lines only: each ends in CR
    // LF, none is a picture or says quoted-printable, and its version is
    // not 2.1, so its text cannot be undeclared.
    for (std::size_t i = 1; i < run.crossings; ++i) {
      const CardCrossing &from = crossing[i - 1], &to = crossing[i];
      card_.firstLine = linesBefore + from.lines + 2;
      card_.crLf = to.lines - from.lines;
      card_.lf = card_.cr = card_.crCrLf = 0;
      card_.bytes = markBytes_ + 2 + static_cast<std::uint64_t>(to.end - from.end);
      if (card_.version != CrossedVersion(from)) card_.version = CrossedVersion(from);
      card_.largestPicture = 0;
      card_.quotedPrintable = card_.undeclared8Bit = false;
      card_.number = summary_.cards + 1;
      summary_.Add(card_);
      row_(context_, card_);
    }
    // The last: its BEGIN and VERSION lines, and those after them.
    const CardCrossing& last = crossing[run.crossings - 1];
    card_.firstLine = linesBefore + last.lines + 2;
    card_.crLf = run.lines - last.lines - 1;
    card_.lf = card_.cr = card_.crCrLf = 0;
    cardBytes_ = markBytes_ + 2 + static_cast<std::uint64_t>(run.end - last.end) - kEndLineBytes;
    content_->StartWithVersion(CrossedVersion(last), true);
    if (run.anyHead) content_->TookPlainHead();
    summary_.lines += run.lines;
  }

  // The version of the card that begins after a crossing: the three
  // characters before the last line's CR LF.
  static std::string_view CrossedVersion(const CardCrossing& crossing) {
    return {reinterpret_cast<const char*>(crossing.end) + kCrossingBytes - 5, 3};
  }

  // Most cards begin with "BEGIN:VCARD" and a VERSION line of three
  // characters, each ending in CR LF: taken here at once, as EndLine and
  // the content would take them one by one. Returns where the next line
  // begins, or nothing if these are not such lines.
  const std::byte* OpenCard(const std::byte* p, const std::byte* const end) {
    static constexpr char kOpening[] = "BEGIN:VCARD\r\nVERSION:";
    constexpr std::size_t kOpeningSize = sizeof kOpening - 1;
    constexpr std::size_t kSize = kOpeningSize + 5;  // and "x.y\r\n"
    if (static_cast<std::size_t>(end - p) <= kSize || std::memcmp(p, kOpening, kOpeningSize) != 0)
      return nullptr;
    const auto* const version = reinterpret_cast<const char*>(p + kOpeningSize);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(version[0]) || version[1] != '.' || !digit(version[2]) || version[3] != '\r' ||
        version[4] != '\n')
      return nullptr;
    card_ = CardFacts{};
    card_.firstLine = summary_.lines + 1;
    card_.crLf = 2;
    summary_.lines += 2;
    summary_.anyBeginLine = true;
    // The empty line a split writes first, then both lines as they are.
    cardBytes_ = markBytes_ + 2 + kSize;
    depth_ = 1;
    content_->StartWithVersion({version, 3}, StartsProperty(p + kSize, end));
    return p + kSize;
  }

  // A card's own "END:VCARD" line, ending in CR LF, that nothing before it
  // goes on into: taken as EndLine would take it.
  const std::byte* CloseCard(const std::byte* p, const std::byte* const end) {
    static constexpr char kClosing[] = "END:VCARD\r\n";
    constexpr std::size_t kSize = sizeof kClosing - 1;
    if (depth_ != 1 || static_cast<std::size_t>(end - p) < kSize || std::memcmp(p, kClosing, kSize) != 0 ||
        !content_->EndsPlainly())
      return nullptr;
    ++summary_.lines;
    ++card_.crLf;
    cardBytes_ += kSize;
    depth_ = 0;
    FinishCard();
    return p + kSize;
  }

  // A picture's value runs over many folded lines, of which only the size
  // counts: they are taken here, one after another, while they end in the
  // block and each is plainly a fold (a tab, or a space before anything that
  // could begin a boundary word). Returns where the first other line begins.
  const std::byte* TakePictureFolds(const std::byte* p, const std::byte* const end) {
    std::uint64_t units = 0, lines = 0, crLfs = 0;
    const std::byte* const start = p;
    while (end - p >= 2) {
      const auto fold = std::to_integer<unsigned>(p[0]), next = std::to_integer<unsigned>(p[1]) | 0x20u;
      if (fold != '\t' && (fold != ' ' || next == ' ' || next == 'b' || next == 'e')) break;
      const std::byte* const q = FindLineEnd<1, false>(p + 1, end);
      if (q == end) break;
      const bool crLf = *q == std::byte{'\r'};
      if (crLf && (end - q < 2 || q[1] != std::byte{'\n'})) break;
      units += static_cast<std::uint64_t>(q - p) - 1;
      ++lines;
      crLfs += crLf;
      p = q + (crLf ? 2 : 1);
    }
    content_->AddPictureUnits(units);
    summary_.lines += lines;
    // Each line as a split writes it: its bytes, a CR LF for its end.
    cardBytes_ += static_cast<std::uint64_t>(p - start) + lines - crLfs;
    card_.crLf += crLfs;
    card_.lf += lines - crLfs;
    return p;
  }

  // A line [p, q) of an 8-bit source, read whole at its start; the block
  // goes on to `readable`.
  void WholeLine(const std::byte* p, const std::byte* q, End end, const std::byte* readable) {
    const std::byte* word = p;
    while (word < q && *word == std::byte{' '}) ++word;
    if (word < q) {
      const auto first = std::to_integer<std::uint16_t>(*word);
      const std::string_view expected = SameLetter(first, 'b')   ? "begin:vcard"
                                        : SameLetter(first, 'e') ? "end:vcard"
                                                                 : "";
      if (!expected.empty() && IsBoundaryLine(word, q, expected)) {
        // As the matcher leaves a boundary line it has read.
        lineBytes_ = static_cast<std::uint64_t>(q - p);
        lineStarted_ = true;
        match_ = Match::Trailing;
        expected_ = expected.data();
        matched_ = expected.size();
        leading_ = static_cast<std::uint64_t>(word - p);
        trailing_ = static_cast<std::uint64_t>(q - word) - matched_;
        return EndLine(end);
      }
    }
    ++summary_.lines;
    if (depth_ == 0) return;
    content_->TakeLine(p, q, readable);
    cardBytes_ += static_cast<std::uint64_t>(q - p) + 2;
    CountEnd(end);
  }

  // In a card, folded lines of a value read only for its size (a picture,
  // above all) need neither the boundary matcher nor the general line end:
  // they are taken here while they end in CR LF within the block. A fold
  // is a tab, or a space before a unit that can begin no boundary word.
  // Returns where the first line that needs more begins.
  template <std::size_t kUnitSize, bool kBigEndian>
  const std::byte* TakeFoldedLines(const std::byte* p, const std::byte* const end) {
    constexpr std::size_t kNewline = 2 * kUnitSize;
    while (static_cast<std::size_t>(end - p) >= 3 * kUnitSize && content_->OnlyCounting()) {
      const std::uint16_t fold = Decode<kUnitSize, kBigEndian>(p);
      const std::uint16_t next = Decode<kUnitSize, kBigEndian>(p + kUnitSize);
      if (fold != '\t' && (fold != kSpace || next == kSpace || next == kCr || next == kLf ||
                           SameLetter(next, 'b') || SameLetter(next, 'e')))
        break;
      const std::byte* q = FindLineEnd<kUnitSize, kBigEndian>(p + kUnitSize, end);
      if (static_cast<std::size_t>(end - q) < kNewline || Decode<kUnitSize, kBigEndian>(q) != kCr ||
          Decode<kUnitSize, kBigEndian>(q + kUnitSize) != kLf)
        break;
      content_->TakeFolded<kUnitSize, kBigEndian>(p + kUnitSize, q);
      ++summary_.lines;
      ++card_.crLf;
      cardBytes_ += static_cast<std::uint64_t>(q - p) + kNewline;
      p = q + kNewline;
    }
    return p;
  }

  // The unit after one or two CRs settles what kind of line end they were.
  // Returns whether the unit belonged to that line end.
  bool Settle(std::uint16_t unit) {
    if (pendingCr_ == 1) {
      if (unit == kLf) return pendingCr_ = 0, EndLine(End::CrLf), true;
      if (unit == kCr) return pendingCr_ = 2, true;
      pendingCr_ = 0;
      EndLine(End::Cr);
      return false;
    }
    if (unit == kLf) return pendingCr_ = 0, EndLine(End::CrCrLf), true;
    // The first CR ended its line alone; the second ends an empty line,
    // and may still begin a CR CR LF.
    EndLine(End::Cr);
    pendingCr_ = 1;
    return Settle(unit);
  }

  // More of the line being read, [p, q) not empty and without CR or LF.
  template <std::size_t kUnitSize, bool kBigEndian>
  void TakeLine(const std::byte* p, const std::byte* q) {
    const bool lineStartsHere = !lineStarted_;
    const std::byte* const start = p;
    lineBytes_ += static_cast<std::uint64_t>(q - p);
    lineStarted_ = true;
    if (match_ != Match::Failed) {
      while (p < q && MatchUnit(Decode<kUnitSize, kBigEndian>(p))) p += kUnitSize;
      if (p == q) return;
      // No boundary line: what the matcher held is the card's, and still
      // in place unless the line began in an earlier block.
      if (depth_ > 0 && lineStartsHere) {
        p = start;
      } else if (depth_ > 0) {
        ReplayHeld();
      }
    }
    if (depth_ > 0) content_->Take<kUnitSize, kBigEndian>(p, q);
  }

  // Follows a line's first characters as the scanner does; false, with the
  // matcher failed, at the first unit that makes it no boundary line.
  bool MatchUnit(std::uint16_t unit) {
    switch (match_) {
      case Match::Leading:
        if (unit == kSpace) return ++leading_, true;
        if (SameLetter(unit, 'b')) {
          expected_ = "begin:vcard";
        } else if (SameLetter(unit, 'e')) {
          expected_ = "end:vcard";
        } else {
          match_ = Match::Failed;
          return false;
        }
        match_ = Match::Word;
        [[fallthrough]];
      case Match::Word:
        if (!SameLetter(unit, expected_[matched_])) {
          match_ = Match::Failed;
          return false;
        }
        if (expected_[++matched_] == '\0') match_ = Match::Trailing;
        return true;
      case Match::Trailing:
        if (unit == kSpace) return ++trailing_, true;
        match_ = Match::Failed;
        return false;
      case Match::Failed:
        break;
    }
    return false;
  }

  // What the matcher held of a line, given to the card's content in the
  // source's units: its spaces and the part of a boundary word it had read
  // (only the letters' case may differ, which no fact depends on).
  void ReplayHeld() {
    Replay(' ', leading_);
    for (std::size_t i = 0; i < matched_; ++i) Replay(Upper(expected_[i]), 1);
    Replay(' ', trailing_);
    FlushReplay();
  }

  void Replay(char c, std::uint64_t count) {
    const std::byte unit[2] = {bigEndian_ ? std::byte{0} : std::byte(c),
                               bigEndian_ ? std::byte(c) : std::byte{0}};
    for (; count > 0; --count) {
      if (replayBytes_ + unitBytes_ > sizeof replay_) FlushReplay();
      std::copy_n(unit, unitBytes_, replay_ + replayBytes_);
      replayBytes_ += unitBytes_;
    }
  }

  void FlushReplay() {
    ((*content_).*take_)(replay_, replay_ + replayBytes_);
    replayBytes_ = 0;
  }

  void EndLine(End end) {
    const std::uint64_t line = ++summary_.lines;
    const bool boundary = lineStarted_ && match_ == Match::Trailing;
    const bool begin = boundary && expected_[0] == 'b';
    const std::uint64_t newline = 2 * unitBytes_;
    if (begin) summary_.anyBeginLine = true;
    if (depth_ == 0 && begin) {
      card_ = CardFacts{};
      card_.firstLine = line;
      cardBytes_ = markBytes_ + newline;
      content_->Start();
    }
    if (depth_ > 0 || begin) {
      if (boundary) {
        // Boundary lines are written without the spaces around them.
        leading_ = trailing_ = 0;
        if (!content_->TakeBoundary(begin)) ReplayHeld();
        cardBytes_ += matched_ * unitBytes_;
      } else {
        if (lineStarted_ && match_ != Match::Failed) ReplayHeld();
        cardBytes_ += lineBytes_;
      }
      cardBytes_ += newline;
      content_->EndLine();
      CountEnd(end);
      if (begin) ++depth_;
      if (boundary && !begin) --depth_;
      if (depth_ == 0) FinishCard();
    }
    lineBytes_ = 0;
    lineStarted_ = false;
    match_ = Match::Leading;
    matched_ = 0;
    leading_ = trailing_ = 0;
  }

  void CountEnd(End end) {
    static constexpr std::uint64_t CardFacts::*kCounts[] = {&CardFacts::crLf, &CardFacts::lf, &CardFacts::cr,
                                                            &CardFacts::crCrLf};
    if (end != End::None) ++(card_.*kCounts[static_cast<std::size_t>(end)]);
  }

  void FinishCard() {
    card_.bytes = cardBytes_;
    content_->Finish(card_);
    card_.number = summary_.cards + 1;
    summary_.Add(card_);
    row_(context_, card_);
  }

  Row row_;
  void* context_;
  const PlainLinesReading takePlainLines_ = TakePlainLines();
  ReportSummary summary_;

  bool decided_ = false;
  std::byte head_[3] = {};  // first bytes, until the encoding is known
  std::size_t headBytes_ = 0;
  std::size_t markBytes_ = 0;
  std::size_t unitBytes_ = 1;
  bool bigEndian_ = false;
  std::byte oddByte_{};  // first half of a 16-bit unit split across blocks
  bool hasOddByte_ = false;
  int pendingCr_ = 0;  // CRs just read whose kind of line end is not known yet

  // The line being read.
  std::uint64_t lineBytes_ = 0;
  bool lineStarted_ = false;
  Match match_ = Match::Leading;
  const char* expected_ = nullptr;  // lower-case boundary word being matched
  std::size_t matched_ = 0;
  std::uint64_t leading_ = 0, trailing_ = 0;  // spaces around it
  std::byte replay_[128];
  std::size_t replayBytes_ = 0;

  // The card being read.
  std::uint64_t depth_ = 0;
  CardFacts card_;
  std::uint64_t cardBytes_ = 0;
  std::optional<CardContent> content_;
  ContentTake take_ = nullptr;
};

CardReport::CardReport(Row row, void* context) : reader_(std::make_unique<Reader>(row, context)) {}
CardReport::~CardReport() = default;

void CardReport::Feed(std::span<const std::byte> block) {
  reader_->Feed(block);
}

const ReportSummary& CardReport::Finish() {
  return reader_->Finish();
}

const char* FormName(SourceEncoding encoding, bool empty) {
  switch (encoding) {
    case SourceEncoding::Bytes:
      return empty ? "empty" : "8-bit";
    case SourceEncoding::Utf8Mark:
      return "UTF-8 with mark";
    case SourceEncoding::Utf16LeMark:
      return "UTF-16 LE with mark";
    case SourceEncoding::Utf16BeMark:
      return "UTF-16 BE with mark";
    case SourceEncoding::Utf16Le:
      return "UTF-16 LE without mark";
    case SourceEncoding::Utf16Be:
      return "UTF-16 BE without mark";
  }
  return "";
}

void ReportSummary::Add(const CardFacts& card) {
  ++cards;
  if (Is(card.version, "2.1")) {
    ++v21;
  } else if (Is(card.version, "3.0")) {
    ++v30;
  } else if (Is(card.version, "4.0")) {
    ++v40;
  } else if (Is(card.version, "none")) {
    ++none;
  } else {
    ++other;
  }
  quotedPrintable += card.quotedPrintable;
  picturesOver224K += card.largestPicture > kPictureLimit;
  undeclared8Bit += card.undeclared8Bit;
}

}  // namespace quillmere::cli
