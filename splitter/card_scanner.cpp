#include "card_scanner.h"

#include <algorithm>

#include "line_ends.h"

namespace quillmere {
namespace {

constexpr std::uint16_t kCr = 0x0D;
constexpr std::uint16_t kLf = 0x0A;
constexpr std::uint16_t kSpace = 0x20;
// Stands for the lone last byte of a UTF-16 source: it matches nothing.
constexpr std::uint16_t kNoCharacter = 0xFFFF;
// A card buffer larger than this is given back after its card is written,
// so one huge photo does not keep its memory for the rest of the run.
constexpr std::size_t kKeptCapacity = std::size_t{4} << 20;

template <std::size_t kUnitSize, bool kBigEndian>
std::uint16_t Decode(const std::byte* p) {
  if constexpr (kUnitSize == 1) {
    return std::to_integer<std::uint16_t>(p[0]);
  } else {
    const auto first = std::to_integer<unsigned>(p[0]);
    const auto second = std::to_integer<unsigned>(p[1]);
    return static_cast<std::uint16_t>(kBigEndian ? (first << 8) | second : (second << 8) | first);
  }
}

bool SameLetter(std::uint16_t unit, char expected) {
  const bool letter = expected >= 'a' && expected <= 'z';
  if (!letter) return unit == static_cast<unsigned char>(expected);
  return unit < 0x80 && (unit | 0x20) == static_cast<unsigned char>(expected);
}

std::span<const std::byte> Bytes(const char* text, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(text), size};
}

}  // namespace

void CardScanner::Matcher::Reset() {
  state_ = State::Leading;
  expected_ = nullptr;
  matched_ = 0;
  wordBytes_ = 0;
}

void CardScanner::Matcher::Take(std::uint16_t unit, const std::byte* raw, std::size_t unitSize) {
  switch (state_) {
    case State::Leading:
      if (unit == kSpace) return;
      if (SameLetter(unit, 'b')) {
        expected_ = "begin:vcard";
      } else if (SameLetter(unit, 'e')) {
        expected_ = "end:vcard";
      } else {
        state_ = State::Fail;
        return;
      }
      state_ = State::Word;
      [[fallthrough]];
    case State::Word:
      if (!SameLetter(unit, expected_[matched_])) {
        state_ = State::Fail;
        return;
      }
      std::copy_n(raw, unitSize, word_ + wordBytes_);
      wordBytes_ += unitSize;
      if (expected_[++matched_] == '\0') state_ = State::Trailing;
      return;
    case State::Trailing:
      if (unit != kSpace) state_ = State::Fail;
      return;
    case State::Fail:
      return;
  }
}

CardScanner::Boundary CardScanner::Matcher::Result() const {
  if (state_ != State::Trailing) return Boundary::None;
  return expected_[0] == 'b' ? Boundary::Begin : Boundary::End;
}

bool CardScanner::Feed(std::span<const std::byte> data, LineSink& sink) {
  if (encoding_ == Encoding::Undecided) {
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
  if (encoding_ == Encoding::Undecided && !Decide({head_, headBytes_}, sink)) return false;
  if (hasOddByte_) {
    hasOddByte_ = false;
    if (!TakeUnit(kNoCharacter, &oddByte_, 1, sink)) return false;
  }
  if (pendingCr_ == 2 && !EndLine(sink)) return false;
  pendingCr_ = 0;
  return !lineStarted_ || EndLine(sink);
}

std::span<const std::byte> CardScanner::Card() const {
  return Bytes(card_.data(), card_.size());
}

void CardScanner::ClearCard() {
  if (card_.capacity() > kKeptCapacity) {
    std::string(card_, 0, markBytes_).swap(card_);
  } else {
    card_.resize(markBytes_);
  }
}

bool CardScanner::Decide(std::span<const std::byte> head, LineSink& sink) {
  auto starts = [&](std::initializer_list<unsigned> mark) {
    return head.size() >= mark.size() &&
           std::equal(mark.begin(), mark.end(), head.begin(),
                      [](unsigned m, std::byte b) { return std::to_integer<unsigned>(b) == m; });
  };
  encoding_ = Encoding::Bytes;
  markBytes_ = 0;
  if (starts({0xEF, 0xBB, 0xBF})) {
    encoding_ = Encoding::Utf8Mark;
    markBytes_ = 3;
  } else if (starts({0xFF, 0xFE})) {
    encoding_ = Encoding::Utf16Le;
    markBytes_ = 2;
  } else if (starts({0xFE, 0xFF})) {
    encoding_ = Encoding::Utf16Be;
    markBytes_ = 2;
  }
  card_.assign(reinterpret_cast<const char*>(head.data()), markBytes_);
  return Scan(head.subspan(markBytes_), sink);
}

bool CardScanner::Scan(std::span<const std::byte> data, LineSink& sink) {
  if (encoding_ == Encoding::Bytes || encoding_ == Encoding::Utf8Mark) {
    return ScanUnits<1, false>(data.data(), data.size(), sink);
  }
  const bool big = encoding_ == Encoding::Utf16Be;
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
  while (p < end) {
    if (pendingCr_ == 0 && lineStarted_ && matcher_.Failed()) {
      // The rest of this line is plain content: copy it up to its end at once.
      const std::byte* q = FindLineEnd<kUnitSize, kBigEndian>(p, end);
      if (depth_ > 0) card_.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p));
      p = q;
      if (p == end) break;
    }
    if (!TakeUnit(Decode<kUnitSize, kBigEndian>(p), p, kUnitSize, sink)) return false;
    p += kUnitSize;
  }
  return true;
}

bool CardScanner::TakeUnit(std::uint16_t unit, const std::byte* raw, std::size_t size, LineSink& sink) {
  if (pendingCr_ == 1) {
    if (unit == kLf) return pendingCr_ = 0, true;
    if (unit == kCr) return pendingCr_ = 2, true;
    pendingCr_ = 0;
  } else if (pendingCr_ == 2) {
    if (unit == kLf) return pendingCr_ = 0, true;
    // The second CR was a line end of its own, after an empty line.
    if (!EndLine(sink)) return false;
    if (unit == kCr) return true;  // this CR may still begin a CR CR LF
    pendingCr_ = 0;
  }
  if (unit == kCr) {
    pendingCr_ = 1;
    return EndLine(sink);
  }
  if (unit == kLf) return EndLine(sink);
  lineStarted_ = true;
  matcher_.Take(unit, raw, size);
  if (depth_ > 0) card_.append(reinterpret_cast<const char*>(raw), size);
  return true;
}

bool CardScanner::EndLine(LineSink& sink) {
  const Boundary boundary = lineStarted_ ? matcher_.Result() : Boundary::None;
  const auto word = matcher_.Word();
  bool cardDone = false;
  if (depth_ == 0) {
    if (boundary == Boundary::Begin) {
      depth_ = 1;
      card_.resize(markBytes_);
      AppendNewline();
      card_.append(reinterpret_cast<const char*>(word.data()), word.size());
      StartNextCardLine();
    }
  } else {
    if (boundary != Boundary::None) {
      // Boundary lines are kept without the spaces around them.
      card_.resize(lineStart_);
      card_.append(reinterpret_cast<const char*>(word.data()), word.size());
    }
    if (boundary == Boundary::Begin) {
      ++depth_;
    } else if (boundary == Boundary::End) {
      --depth_;
    }
    if (depth_ == 0) {
      AppendNewline();
      cardDone = true;
    } else {
      StartNextCardLine();
    }
  }
  matcher_.Reset();
  lineStarted_ = false;
  return sink.LineEnded(cardDone);
}

void CardScanner::AppendNewline() {
  switch (encoding_) {
    case Encoding::Utf16Le:
      card_.append("\r\0\n\0", 4);
      break;
    case Encoding::Utf16Be:
      card_.append("\0\r\0\n", 4);
      break;
    default:
      card_.append("\r\n", 2);
  }
}

void CardScanner::StartNextCardLine() {
  AppendNewline();
  lineStart_ = card_.size();
}

}  // namespace quillmere
