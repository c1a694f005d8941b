#include "quillmere/card_scanner.h"

#include <algorithm>

#include "boundary_words.h"
#include "code_units.h"
#include "quillmere/line_ends.h"

namespace quillmere {
namespace {

constexpr std::uint16_t kCr = 0x0D;
constexpr std::uint16_t kLf = 0x0A;
constexpr std::uint16_t kSpace = 0x20;
// Stands for the lone last byte of a UTF-16 source: it matches nothing.
constexpr std::uint16_t kNoCharacter = 0xFFFF;

std::span<const std::byte> Bytes(const char* text, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(text), size};
}

// The space and the CR LF that the scanner writes, in the source's units:
// the space for a boundary line's spaces that turn out to be content.
struct Written {
  std::span<const std::byte> space;
  std::span<const std::byte> newline;
};

Written WrittenIn(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::Utf16Le:
    case SourceEncoding::Utf16LeMark:
      return {Bytes(" \0", 2), Bytes("\r\0\n\0", 4)};
    case SourceEncoding::Utf16Be:
    case SourceEncoding::Utf16BeMark:
      return {Bytes("\0 ", 2), Bytes("\0\r\0\n", 4)};
    default:
      return {Bytes(" ", 1), Bytes("\r\n", 2)};
  }
}

static_assert(kLongestBoundaryWord <= CardScanner::kLongestWord);

// Whether a line whose first character after any spaces is `unit` may be a
// boundary line.
bool MayBeBoundary(std::uint16_t unit) {
  return BoundaryWordStartingWith(unit) != nullptr;
}

}  // namespace

void CardScanner::Matcher::Reset() {
  state_ = State::Leading;
  expected_ = nullptr;
  matched_ = 0;
  wordBytes_ = 0;
  leading_ = 0;
  trailing_ = 0;
}

void CardScanner::Matcher::Take(std::uint16_t unit, const std::byte* raw, std::size_t unitSize) {
  switch (state_) {
    case State::Leading:
      if (unit == kSpace) {
        ++leading_;
        return;
      }
      expected_ = BoundaryWordStartingWith(unit);
      if (!expected_) {
        state_ = State::Fail;
        return;
      }
      state_ = State::Word;
      [[fallthrough]];
    case State::Word:
      if (!SameLetter(unit, expected_->text[matched_])) {
        state_ = State::Fail;
        return;
      }
      std::copy_n(raw, unitSize, word_ + wordBytes_);
      wordBytes_ += unitSize;
      if (++matched_ == expected_->text.size()) state_ = State::Trailing;
      return;
    case State::Trailing:
      if (unit != kSpace) {
        state_ = State::Fail;
        return;
      }
      ++trailing_;
      return;
    case State::Fail:
      return;
  }
}

const BoundaryWord* CardScanner::Matcher::Result() const {
  return state_ == State::Trailing ? expected_ : nullptr;
}

SourceEncoding EncodingOf(std::span<const std::byte> head, std::size_t& markBytes) {
  auto byte = [&](std::size_t i) { return i < head.size() ? std::to_integer<unsigned>(head[i]) : 0x100u; };
  auto ascii = [](unsigned b) { return b >= 0x01 && b <= 0x7F; };
  markBytes = 0;
  if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
    markBytes = 3;
    return SourceEncoding::Utf8Mark;
  }
  if (byte(0) == 0xFF && byte(1) == 0xFE) {
    markBytes = 2;
    return SourceEncoding::Utf16LeMark;
  }
  if (byte(0) == 0xFE && byte(1) == 0xFF) {
    markBytes = 2;
    return SourceEncoding::Utf16BeMark;
  }
  if (byte(0) == 0x00 && ascii(byte(1))) return SourceEncoding::Utf16Be;
  if (ascii(byte(0)) && byte(1) == 0x00) return SourceEncoding::Utf16Le;
  return SourceEncoding::Bytes;
}

CardScanner::CardScanner(std::size_t holdLimit) : holdLimit_(std::max<std::size_t>(holdLimit, 1)) {}

bool CardScanner::Feed(std::span<const std::byte> data, LineSink& sink) {
  if (!decided_) {
    const std::size_t take = std::min(sizeof head_ - headBytes_, data.size());
    std::copy_n(data.begin(), take, head_ + headBytes_);
    headBytes_ += take;
    data = data.subspan(take);
    if (headBytes_ < sizeof head_) return true;
    if (!Decide({head_, headBytes_}, sink)) return false;
  }
  return Scan(data, sink);
}

bool CardScanner::Finish(LineSink& sink) {
  if (!decided_ && !Decide({head_, headBytes_}, sink)) return false;
  if (hasOddByte_) {
    hasOddByte_ = false;
    if (!TakeUnit(kNoCharacter, &oddByte_, 1, sink)) return false;
  }
  if (pendingCr_ == 2) {
    // Two lone CRs: the first ended its line, the second an empty one.
    Counts().crEnds += 2;
    if (!EndLine(sink)) return false;
  } else if (pendingCr_ == 1) {
    ++Counts().crEnds;
  }
  pendingCr_ = 0;
  return !lineStarted_ || EndLine(sink);
}

std::span<const std::byte> CardScanner::Card() const {
  return card_.Bytes();
}

void CardScanner::ClearCard() {
  card_.Clear();
}

ScanStatistics CardScanner::Statistics() const {
  return recorder_.Statistics();
}

bool CardScanner::Decide(std::span<const std::byte> head, LineSink& sink) {
  std::size_t markBytes = 0;
  encoding_ = EncodingOf(head, markBytes);
  decided_ = true;
  Counts().encoding = encoding_;
  card_.SetSource(head.first(markBytes), WrittenIn(encoding_).newline);
  return Scan(head.subspan(markBytes), sink);
}

bool CardScanner::Scan(std::span<const std::byte> data, LineSink& sink) {
  if (encoding_ == SourceEncoding::Bytes || encoding_ == SourceEncoding::Utf8Mark) {
    return ScanUnits<1, false>(data.data(), data.size(), sink);
  }
  const bool big = encoding_ == SourceEncoding::Utf16Be || encoding_ == SourceEncoding::Utf16BeMark;
  const auto scan = big ? &CardScanner::ScanUnits<2, true> : &CardScanner::ScanUnits<2, false>;
  if (hasOddByte_ && !data.empty()) {
    const std::byte unit[2] = {oddByte_, data[0]};
    hasOddByte_ = false;
    data = data.subspan(1);
    if (!(this->*scan)(unit, 2, sink)) return false;
  }
  const std::size_t even = data.size() & ~std::size_t{1};
  if (even < data.size()) {
    oddByte_ = data[even];
    hasOddByte_ = true;
  }
  return (this->*scan)(data.data(), even, sink);
}

template <std::size_t kUnitSize, bool kBigEndian>
bool CardScanner::ScanUnits(const std::byte* p, std::size_t n, LineSink& sink) {
  const std::byte* const end = p + n;
  blockBegin_ = p;
  blockEnd_ = end;
  bool goOn = true;
  while (p < end && goOn) {
    if (pendingCr_ == 0) {
      if (!lineStarted_) {
        p = TakeContentLines<kUnitSize, kBigEndian>(p, end, sink, goOn);
        if (p == end || !goOn) break;
        p = SkipContentLine<kUnitSize, kBigEndian>(p, end, sink, goOn);
        if (p == end || !goOn) break;
      } else if (matcher_.Failed()) {
        // The rest of this line is plain content: take it up to its end at once.
        const std::byte* q = FindLineEnd<kUnitSize, kBigEndian>(p, end);
        if (recorder_.InsideCard()) goOn = Hold(p, static_cast<std::size_t>(q - p), sink);
        p = q;
        if (p == end || !goOn) break;
      }
    }
    at_ = p;
    goOn = TakeUnit(UnitAt<kUnitSize, kBigEndian>(p), p, kUnitSize, sink);
    p += kUnitSize;
  }
  // The block is about to be reused: a card read so far only in place must
  // now be held.
  card_.Materialize();
  blockBegin_ = blockEnd_ = lineBegin_ = at_ = nullptr;
  return goOn;
}

// Where the card is read in place (or outside any card), content lines that
// end in CR LF within the block need nothing but their ends found: they are
// taken as a run, reported in one call. Returns where the first line that
// needs more begins.
template <std::size_t kUnitSize, bool kBigEndian>
const std::byte* CardScanner::TakeContentLines(const std::byte* p, const std::byte* end, LineSink& sink,
                                               bool& goOn) {
  constexpr std::size_t kNewline = 2 * kUnitSize;
  std::uint64_t lines = 0;
  for (;;) {
    const std::byte* first = p;
    while (first < end && UnitAt<kUnitSize, kBigEndian>(first) == kSpace) first += kUnitSize;
    if (first == end) break;
    const std::uint16_t unit = UnitAt<kUnitSize, kBigEndian>(first);
    if (unit == kCr || unit == kLf || MayBeBoundary(unit)) break;
    const std::byte* q = FindLineEnd<kUnitSize, kBigEndian>(first, end);
    if (static_cast<std::size_t>(end - q) < kNewline || UnitAt<kUnitSize, kBigEndian>(q) != kCr ||
        UnitAt<kUnitSize, kBigEndian>(q + kUnitSize) != kLf) {
      break;
    }
    const std::byte* next = q + kNewline;
    if (recorder_.InsideCard() && !card_.ExtendInPlace(p, static_cast<std::size_t>(next - p), holdLimit_))
      break;
    ++lines;
    p = next;
  }
  Counts().lines += lines;
  Counts().crLfEnds += lines;
  if (lines > 0) goOn = sink.LinesEnded(lines);
  return p;
}

// At the start of a line: if its first character after any spaces can begin
// no boundary word, the whole line is content, taken up to its end at once.
// Returns where scanning goes on.
template <std::size_t kUnitSize, bool kBigEndian>
const std::byte* CardScanner::SkipContentLine(const std::byte* p, const std::byte* end, LineSink& sink,
                                              bool& goOn) {
  const std::byte* first = p;
  while (first < end && UnitAt<kUnitSize, kBigEndian>(first) == kSpace) first += kUnitSize;
  if (first == end) return p;
  const std::uint16_t unit = UnitAt<kUnitSize, kBigEndian>(first);
  if (unit == kCr || unit == kLf || MayBeBoundary(unit)) return p;
  lineStarted_ = true;
  lineBegin_ = p;
  matcher_.Fail();
  const std::byte* q = FindLineEnd<kUnitSize, kBigEndian>(first, end);
  if (recorder_.InsideCard()) goOn = Hold(p, static_cast<std::size_t>(q - p), sink);
  return q;
}

// Inlined into the unit loops: it runs once per unit of every line that
// may be a boundary line, where a call would cost as much as its work.
[[gnu::always_inline]] inline bool CardScanner::TakeUnit(std::uint16_t unit, const std::byte* raw,
                                                         std::size_t size, LineSink& sink) {
  // A CR ends its line at once; what follows it decides only which kind of
  // line end it was, and whether a second CR ended an empty line.
  if (pendingCr_ == 1) {
    if (unit == kLf) return ++Counts().crLfEnds, pendingCr_ = 0, true;
    if (unit == kCr) return pendingCr_ = 2, true;
    ++Counts().crEnds;
    pendingCr_ = 0;
  } else if (pendingCr_ == 2) {
    if (unit == kLf) return ++Counts().crCrLfEnds, pendingCr_ = 0, true;
    // The first CR ended its line alone; the second ended an empty line.
    ++Counts().crEnds;
    if (!EndLine(sink)) return false;
    if (unit == kCr) return true;  // this CR may still begin a CR CR LF
    ++Counts().crEnds;
    pendingCr_ = 0;
  }
  if (unit == kCr) {
    pendingCr_ = 1;
    return EndLine(sink);
  }
  if (unit == kLf) {
    ++Counts().lfEnds;
    return EndLine(sink);
  }
  if (!lineStarted_) lineBegin_ = InBlock(raw, size) ? raw : nullptr;
  lineStarted_ = true;
  const bool wasHeld = !matcher_.Failed();
  matcher_.Take(unit, raw, size);
  if (!recorder_.InsideCard() || !matcher_.Failed()) return true;
  // Not a boundary line after all: what the matcher held is card content.
  if (wasHeld && !AppendHeld(sink)) return false;
  return Hold(raw, size, sink);
}

bool CardScanner::EndLine(LineSink& sink) {
  const BoundaryWord* boundary = lineStarted_ ? matcher_.Result() : nullptr;
  const auto word = matcher_.Word();
  const std::uint64_t line = ++Counts().lines;
  const bool inCard = recorder_.InsideCard();
  const auto effect = boundary ? recorder_.Boundary(boundary->opens, line) : ScanRecorder::Effect::InsideCard;
  bool cardDone = false;
  if (effect == ScanRecorder::Effect::OpensCard) {
    card_.Start(word, blockBegin_, lineBegin_, at_);
    card_.AppendNewline(blockEnd_);
  } else if (inCard) {
    if (boundary) {
      // Boundary lines are kept without the spaces around them.
      card_.AppendWord(word, lineBegin_, at_);
    } else if (lineStarted_ && !matcher_.Failed() && !AppendHeld(sink)) {
      return false;
    }
    card_.AppendNewline(blockEnd_);
    if (effect == ScanRecorder::Effect::ClosesCard) {
      cardDone = true;
      recorder_.CardDone(card_.CardBytes());
    } else if (card_.Size() >= holdLimit_ && !HandOnPart(sink)) {
      return false;
    }
  }
  matcher_.Reset();
  lineStarted_ = false;
  return sink.LineEnded(cardDone);
}

// The spaces and word a matcher held for a line that is no boundary line.
bool CardScanner::AppendHeld(LineSink& sink) {
  if (card_.InPlaceUpTo(lineBegin_)) {
    // What the matcher held are the line's own units so far, still in place.
    return Hold(lineBegin_, static_cast<std::size_t>(at_ - lineBegin_), sink);
  }
  const auto space = WrittenIn(encoding_).space;
  for (std::uint64_t n = matcher_.LeadingSpaces(); n > 0; --n) {
    if (!Hold(space.data(), space.size(), sink)) return false;
  }
  const auto word = matcher_.Word();
  if (!Hold(word.data(), word.size(), sink)) return false;
  for (std::uint64_t n = matcher_.TrailingSpaces(); n > 0; --n) {
    if (!Hold(space.data(), space.size(), sink)) return false;
  }
  return true;
}

bool CardScanner::Hold(const std::byte* data, std::size_t size, LineSink& sink) {
  if (size == 0 || card_.ExtendInPlace(data, size, holdLimit_)) return true;
  card_.Append(data, size);
  return card_.Size() < holdLimit_ || HandOnPart(sink);
}

bool CardScanner::HandOnPart(LineSink& sink) {
  const bool goOn = sink.CardPart(card_.Bytes());
  card_.HandedOn();
  return goOn;
}

bool CardScanner::InBlock(const std::byte* p, std::size_t size) const {
  return blockBegin_ && p >= blockBegin_ && size <= static_cast<std::size_t>(blockEnd_ - p);
}

}  // namespace quillmere
