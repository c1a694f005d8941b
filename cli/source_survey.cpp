#include "source_survey.h"

#include <algorithm>
#include <initializer_list>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quillmere::cli {
namespace {

constexpr std::uint16_t kCr = 0x0D;
constexpr std::uint16_t kLf = 0x0A;
constexpr std::uint16_t kSpace = 0x20;
// Stands for the lone last byte of a UTF-16 source: it matches nothing.
constexpr std::uint16_t kNoCharacter = 0xFFFF;
constexpr std::size_t kBeginWord = 11;  // "BEGIN:VCARD"
constexpr std::size_t kEndWord = 9;     // "END:VCARD"

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

// The first CR or LF unit in [p, end), or end. Most of a source is the
// content of lines, so this is where the time goes: sixteen bytes at a time
// where the processor allows.
template <std::size_t kUnitSize, bool kBigEndian>
const std::byte* FindLineEnd(const std::byte* p, const std::byte* end) {
  if constexpr (kUnitSize == 1) {
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
      if (hits != 0) return p + __builtin_ctz(static_cast<unsigned>(hits));
      p += 16;
    }
#endif
  }
  for (; end - p >= static_cast<std::ptrdiff_t>(kUnitSize); p += kUnitSize) {
    const std::uint16_t unit = Decode<kUnitSize, kBigEndian>(p);
    if (unit == kCr || unit == kLf) return p;
  }
  return end;
}

bool SameLetter(std::uint16_t unit, char expected) {
  const bool letter = expected >= 'a' && expected <= 'z';
  if (!letter) return unit == static_cast<unsigned char>(expected);
  return unit < 0x80 && (unit | 0x20) == static_cast<unsigned char>(expected);
}

bool IsAscii(std::byte b) {
  const auto value = std::to_integer<unsigned>(b);
  return value >= 0x01 && value <= 0x7F;
}

}  // namespace

const char* EncodingName(SourceFacts::Encoding encoding) {
  switch (encoding) {
    case SourceFacts::Encoding::Empty:
      return "empty";
    case SourceFacts::Encoding::Bytes:
      return "8-bit";
    case SourceFacts::Encoding::Utf8Mark:
      return "UTF-8 with mark";
    case SourceFacts::Encoding::Utf16LeMark:
      return "UTF-16 LE with mark";
    case SourceFacts::Encoding::Utf16BeMark:
      return "UTF-16 BE with mark";
    case SourceFacts::Encoding::Utf16Le:
      return "UTF-16 LE without mark";
    case SourceFacts::Encoding::Utf16Be:
      return "UTF-16 BE without mark";
  }
  return "";
}

void SourceSurvey::Feed(std::span<const std::byte> data) {
  facts_.bytes += data.size();
  if (!decided_) {
    const std::size_t take = std::min(sizeof head_ - headBytes_, data.size());
    std::copy_n(data.begin(), take, head_ + headBytes_);
    headBytes_ += take;
    data = data.subspan(take);
    if (headBytes_ < sizeof head_) return;
    Decide({head_, headBytes_});
  }
  Scan(data);
}

const SourceFacts& SourceSurvey::Finish() {
  if (!decided_) Decide({head_, headBytes_});
  if (hasOddByte_) {
    hasOddByte_ = false;
    TakeUnit(kNoCharacter, 1);
  }
  if (pendingCr_ == 1) {
    ++facts_.cr;
  } else if (pendingCr_ == 2) {
    ++facts_.cr;
    EndLine();
    ++facts_.cr;
  }
  pendingCr_ = 0;
  if (lineStarted_) EndLine();
  if (depth_ > 0) facts_.unfinishedCardLine = cardLine_;
  return facts_;
}

void SourceSurvey::Decide(std::span<const std::byte> head) {
  decided_ = true;
  auto starts = [&](std::initializer_list<unsigned> mark) {
    return head.size() >= mark.size() &&
           std::equal(mark.begin(), mark.end(), head.begin(),
                      [](unsigned m, std::byte b) { return std::to_integer<unsigned>(b) == m; });
  };
  if (head.empty()) {
    facts_.encoding = Encoding::Empty;
  } else if (starts({0xEF, 0xBB, 0xBF})) {
    facts_.encoding = Encoding::Utf8Mark;
    markBytes_ = 3;
  } else if (starts({0xFF, 0xFE})) {
    facts_.encoding = Encoding::Utf16LeMark;
    markBytes_ = 2;
  } else if (starts({0xFE, 0xFF})) {
    facts_.encoding = Encoding::Utf16BeMark;
    markBytes_ = 2;
  } else if (head.size() >= 2 && std::to_integer<unsigned>(head[0]) == 0 && IsAscii(head[1])) {
    facts_.encoding = Encoding::Utf16Be;
  } else if (head.size() >= 2 && IsAscii(head[0]) && std::to_integer<unsigned>(head[1]) == 0) {
    facts_.encoding = Encoding::Utf16Le;
  } else {
    facts_.encoding = Encoding::Bytes;
  }
  const bool utf16 = facts_.encoding != Encoding::Bytes && facts_.encoding != Encoding::Utf8Mark &&
                     facts_.encoding != Encoding::Empty;
  unitSize_ = utf16 ? 2 : 1;
  Scan(head.subspan(markBytes_));
}

void SourceSurvey::Scan(std::span<const std::byte> data) {
  if (unitSize_ == 1) return ScanUnits<1, false>(data.data(), data.data() + data.size());
  const bool big = facts_.encoding == Encoding::Utf16Be || facts_.encoding == Encoding::Utf16BeMark;
  const auto scan = big ? &SourceSurvey::ScanUnits<2, true> : &SourceSurvey::ScanUnits<2, false>;
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
SourceSurvey::Boundary SourceSurvey::Classify(const std::byte* p, const std::byte* end) {
  while (p < end && Decode<kUnitSize, kBigEndian>(p) == kSpace) p += kUnitSize;
  if (p == end) return Boundary::None;
  const std::uint16_t first = Decode<kUnitSize, kBigEndian>(p);
  const char* word = SameLetter(first, 'b') ? "begin:vcard" : SameLetter(first, 'e') ? "end:vcard" : nullptr;
  if (!word) return Boundary::None;
  const Boundary boundary = word[0] == 'b' ? Boundary::Begin : Boundary::End;
  for (; *word != '\0'; ++word, p += kUnitSize) {
    if (p == end || !SameLetter(Decode<kUnitSize, kBigEndian>(p), *word)) return Boundary::None;
  }
  for (; p < end; p += kUnitSize) {
    if (Decode<kUnitSize, kBigEndian>(p) != kSpace) return Boundary::None;
  }
  return boundary;
}

// A line that lies whole in the block, with enough after it to tell its
// end's kind, is taken in one step; the unit-by-unit reading below is for
// the lines cut by the end of a block. Returns where the next line begins,
// or nullptr when this line is not such a line.
template <std::size_t kUnitSize, bool kBigEndian>
const std::byte* SourceSurvey::WholeLine(const std::byte* p, const std::byte* end) {
  constexpr std::size_t u = kUnitSize;
  const std::byte* q = FindLineEnd<kUnitSize, kBigEndian>(p, end);
  const auto after = [&](std::size_t units) {
    return end - q > static_cast<std::ptrdiff_t>(units * u) ? Decode<kUnitSize, kBigEndian>(q + units * u)
                                                            : kNoCharacter;
  };
  if (end - q < static_cast<std::ptrdiff_t>(u)) return nullptr;
  const std::byte* next = nullptr;
  if (Decode<kUnitSize, kBigEndian>(q) == kLf) {
    ++facts_.lf;
    next = q + u;
  } else if (after(1) == kLf) {
    ++facts_.crLf;
    next = q + 2 * u;
  } else if (after(1) == kCr && after(2) == kLf) {
    ++facts_.crCrLf;
    next = q + 3 * u;
  } else if (after(1) != kNoCharacter && after(1) != kCr) {
    ++facts_.cr;
    next = q + u;
  } else if (after(1) == kCr && after(2) != kNoCharacter) {
    ++facts_.cr;  // a lone CR; the next starts a line end of its own
    next = q + u;
  } else {
    return nullptr;  // the block ends before the kind is known
  }
  LineDone(Classify<kUnitSize, kBigEndian>(p, q), static_cast<std::uint64_t>(q - p));
  return next;
}

template <std::size_t kUnitSize, bool kBigEndian>
void SourceSurvey::ScanUnits(const std::byte* p, const std::byte* end) {
  while (p < end) {
    if (pendingCr_ == 0 && !lineStarted_) {
      if (const std::byte* next = WholeLine<kUnitSize, kBigEndian>(p, end)) {
        p = next;
        continue;
      }
    }
    if (pendingCr_ == 0 && lineStarted_ && match_ == Match::Fail) {
      // The rest of this line cannot make it a boundary: skip to its end.
      const std::byte* q = FindLineEnd<kUnitSize, kBigEndian>(p, end);
      lineBytes_ += static_cast<std::uint64_t>(q - p);
      p = q;
      if (p == end) break;
      // CR LF, the most common end, taken in one step.
      if (end - p >= static_cast<std::ptrdiff_t>(2 * kUnitSize) && Decode<kUnitSize, kBigEndian>(p) == kCr &&
          Decode<kUnitSize, kBigEndian>(p + kUnitSize) == kLf) {
        ++facts_.crLf;
        EndLine();
        p += 2 * kUnitSize;
        continue;
      }
    }
    TakeUnit(Decode<kUnitSize, kBigEndian>(p), kUnitSize);
    p += kUnitSize;
  }
}

void SourceSurvey::TakeUnit(std::uint16_t unit, std::size_t unitSize) {
  if (pendingCr_ == 1) {
    if (unit == kLf) {
      ++facts_.crLf;
      pendingCr_ = 0;
      return;
    }
    if (unit == kCr) {
      pendingCr_ = 2;
      return;
    }
    ++facts_.cr;
    pendingCr_ = 0;
  } else if (pendingCr_ == 2) {
    if (unit == kLf) {
      ++facts_.crCrLf;
      pendingCr_ = 0;
      return;
    }
    // The first CR stood alone, and the second ended an empty line.
    ++facts_.cr;
    EndLine();
    if (unit == kCr) return;  // the second CR and this one may still be a CR CR LF
    ++facts_.cr;
    pendingCr_ = 0;
  }
  if (unit == kCr) {
    pendingCr_ = 1;
    EndLine();
  } else if (unit == kLf) {
    ++facts_.lf;
    EndLine();
  } else {
    TakeContent(unit, unitSize);
  }
}

void SourceSurvey::TakeContent(std::uint16_t unit, std::size_t unitSize) {
  lineStarted_ = true;
  lineBytes_ += unitSize;
  switch (match_) {
    case Match::Leading:
      if (unit == kSpace) return;
      if (SameLetter(unit, 'b')) {
        expected_ = "begin:vcard";
      } else if (SameLetter(unit, 'e')) {
        expected_ = "end:vcard";
      } else {
        match_ = Match::Fail;
        return;
      }
      match_ = Match::Word;
      [[fallthrough]];
    case Match::Word:
      if (!SameLetter(unit, expected_[matched_])) {
        match_ = Match::Fail;
      } else if (expected_[++matched_] == '\0') {
        match_ = Match::Trailing;
      }
      return;
    case Match::Trailing:
      if (unit != kSpace) match_ = Match::Fail;
      return;
    case Match::Fail:
      return;
  }
}

void SourceSurvey::EndLine() {
  Boundary boundary = Boundary::None;
  if (lineStarted_ && match_ == Match::Trailing)
    boundary = expected_[0] == 'b' ? Boundary::Begin : Boundary::End;
  LineDone(boundary, lineBytes_);
  lineStarted_ = false;
  match_ = Match::Leading;
  matched_ = 0;
  lineBytes_ = 0;
}

void SourceSurvey::BoundaryOrOutsideLine(Boundary boundary, std::uint64_t contentBytes) {
  const std::uint64_t line = facts_.lines;
  const std::uint64_t newline = 2 * unitSize_;
  const bool begin = boundary == Boundary::Begin;
  const bool end = boundary == Boundary::End;
  const std::uint64_t lineBytes =
      begin ? kBeginWord * unitSize_ : (end ? kEndWord * unitSize_ : contentBytes);
  if (depth_ == 0) {
    if (begin) {
      depth_ = 1;
      facts_.anyBegin = true;
      cardLine_ = line;
      cardBytes_ = markBytes_ + newline + lineBytes + newline;
    } else {
      ++facts_.linesOutsideCards;
      if (end) {
        ++facts_.strayEnds;
        if (facts_.firstStrayEndLines.size() < SourceFacts::kStrayLinesKept) {
          facts_.firstStrayEndLines.push_back(line);
        }
      }
    }
  } else {
    cardBytes_ += lineBytes + newline;
    if (begin) ++depth_;
    if (end) --depth_;
    if (depth_ == 0) {
      ++facts_.cards;
      if (cardBytes_ > facts_.largestCardBytes) {
        facts_.largestCard = facts_.cards;
        facts_.largestCardBytes = cardBytes_;
      }
    }
  }
  facts_.deepestNesting = std::max(facts_.deepestNesting, depth_);
}

}  // namespace quillmere::cli
