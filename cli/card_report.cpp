#include "card_report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <string_view>

#include "console.h"
#include "quillmere/card_scanner.h"
#include "report.h"

namespace quillmere::cli {
namespace {

constexpr std::size_t kReadBlock = std::size_t{256} << 10;
// A property's name and parameters are held up to this; a longer head is
// no property an importer knows, and its line is counted as value.
constexpr std::size_t kLongestHead = 4096;
constexpr std::uint64_t kPictureLimit = 224 * 1024;
// Rows are gathered and printed this many bytes at a time.
constexpr std::size_t kPrintBatch = 64 << 10;

constexpr std::uint16_t kLf = 0x0A, kCr = 0x0D;

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = Upper(c);
  return text;
}

bool IsHexDigitPastAscii(std::uint16_t unit) {
  return (unit >= '8' && unit <= '9') || (unit >= 'A' && unit <= 'F') || (unit >= 'a' && unit <= 'f');
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

CardContentReader::CardContentReader(SourceEncoding encoding)
    : unitBytes_(encoding == SourceEncoding::Bytes || encoding == SourceEncoding::Utf8Mark ? 1 : 2),
      bigEndian_(encoding == SourceEncoding::Utf16Be || encoding == SourceEncoding::Utf16BeMark) {}

void CardContentReader::Feed(std::span<const std::byte> bytes) {
  const std::byte* p = bytes.data();
  const std::byte* const end = p + bytes.size();
  if (unitBytes_ == 1) {
    while (p < end) {
      // The bulk of a card is values; they are run through a line at a time.
      if (mode_ == Mode::Value && !qp_ && !keepText_) {
        p = ValueRun(p, end);
        continue;
      }
      Take(std::to_integer<std::uint16_t>(*p++));
    }
    return;
  }
  if (hasOddByte_ && p < end) {
    const std::byte pair[2] = {oddByte_, *p++};
    hasOddByte_ = false;
    Feed(pair);
  }
  for (; end - p >= 2; p += 2) {
    const auto first = std::to_integer<std::uint16_t>(p[0]), second = std::to_integer<std::uint16_t>(p[1]);
    Take(bigEndian_ ? static_cast<std::uint16_t>(first << 8 | second)
                    : static_cast<std::uint16_t>(second << 8 | first));
  }
  if (p < end) {
    oddByte_ = *p;
    hasOddByte_ = true;
  }
}

// A value's bytes up to the end of its line: counted, and looked at for
// bytes past ASCII, without a step per byte.
const std::byte* CardContentReader::ValueRun(const std::byte* p, const std::byte* end) {
  const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
  const std::byte* stop = lf ? static_cast<const std::byte*>(lf) : end;
  // A picture's bytes are data, not text: only their number matters.
  unsigned char high = 0;
  if (property_ != Property::Picture)
    for (const std::byte* q = p; q < stop; ++q) high |= std::to_integer<unsigned char>(*q);
  std::size_t units = static_cast<std::size_t>(stop - p);
  if (units > 0 && stop[-1] == std::byte{'\r'}) --units;  // only line ends hold a CR
  valueUnits_ += units;
  if (high & 0x80) nonAscii_ = true;
  if (!lf) return end;
  EndLine();
  return stop + 1;
}

void CardContentReader::Take(std::uint16_t unit) {
  if (unit == kLf) return EndLine();
  if (unit == kCr) return;  // lines hold no CR: it belongs to a line end
  switch (mode_) {
    case Mode::Mark:
      return;
    case Mode::LineStart:
      if (unit == ' ' || unit == '\t') {
        mode_ = Mode::Value;  // a folded line: the fold is not the value's
        return;
      }
      if (afterSoftBreak_) {
        mode_ = Mode::Value;
        return TakeValue(unit);
      }
      mode_ = Mode::Head;
      head_.clear();
      headUnits_ = 0;
      headTooLong_ = headNonAscii_ = inQuotes_ = false;
      [[fallthrough]];
    case Mode::Head:
      if (unit == ':' && !inQuotes_ && !headTooLong_) {
        EndProperty();
        StartProperty();
        mode_ = Mode::Value;
        return;
      }
      if (unit == '"') inQuotes_ = !inQuotes_;
      if (unit >= 0x80) headNonAscii_ = true;
      ++headUnits_;
      if (head_.size() < kLongestHead) {
        head_ += unit < 0x80 ? static_cast<char>(unit) : '\x80';
      } else {
        headTooLong_ = true;
      }
      return;
    case Mode::Value:
      return TakeValue(unit);
  }
}

void CardContentReader::TakeValue(std::uint16_t unit) {
  ++valueUnits_;
  if (unit >= 0x80) nonAscii_ = true;
  if (qp_) {
    if (qpEscape_ == 1 && IsHexDigitPastAscii(unit)) nonAscii_ = true;
    qpEscape_ = unit == '=' ? 1 : 0;
  }
  if (keepText_ && text_.size() < 16) text_ += unit < 0x80 ? static_cast<char>(unit) : '?';
  lastWasEquals_ = unit == '=';
}

namespace {

// Whether text, in any ASCII letter case, is the upper-case word.
bool IsWord(std::string_view text, std::string_view word) {
  return text.size() == word.size() &&
         std::equal(text.begin(), text.end(), word.begin(), [](char c, char w) { return Upper(c) == w; });
}

bool HasWord(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t at = 0; at + word.size() <= text.size(); ++at)
    if (IsWord(text.substr(at, word.size()), word)) return true;
  return false;
}

}  // namespace

// The head just read (up to its colon) names the property that starts.
void CardContentReader::StartProperty() {
  const std::string_view head = head_;
  const std::string_view parameters = head.substr(std::min(head.find(';'), head.size()));
  std::string_view name = head.substr(0, head.size() - parameters.size());
  if (const auto dot = name.rfind('.'); dot != std::string_view::npos)
    name.remove_prefix(dot + 1);  // a group
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  property_ = IsWord(name, "PHOTO") || IsWord(name, "LOGO") ? Property::Picture
              : IsWord(name, "VERSION")                     ? Property::Version
              : IsWord(name, "BEGIN")                       ? Property::Begin
              : IsWord(name, "END")                         ? Property::End
                                                            : Property::Other;
  qp_ = !parameters.empty() && HasWord(parameters, "QUOTED-PRINTABLE");
  charset_ = !parameters.empty() && HasWord(parameters, "CHARSET=");
  nonAscii_ = headNonAscii_;
  keepText_ = property_ != Property::Other && property_ != Property::Picture;
  text_.clear();
  valueUnits_ = 0;
  qpEscape_ = 0;
  anyQp_ = anyQp_ || qp_;
}

void CardContentReader::EndProperty() {
  if (property_ == Property::None) return;
  if (property_ == Property::Picture) largestPicture_ = std::max(largestPicture_, valueUnits_ * unitBytes_);
  if (nonAscii_ && !charset_) anyUndeclared_ = true;
  if (keepText_) {
    const std::string value = UpperCase(Trimmed(text_));
    if (property_ == Property::Begin && value == "VCARD") ++depth_;
    if (property_ == Property::End && value == "VCARD" && depth_ > 0) --depth_;
    if (property_ == Property::Version && depth_ == 1 && version_.empty()) version_ = value;
  }
  property_ = Property::None;
}

void CardContentReader::EndLine() {
  if (mode_ == Mode::Head) {
    // No colon: the line goes on the value of the property before it.
    valueUnits_ += headUnits_;
    nonAscii_ = nonAscii_ || headNonAscii_;
  }
  afterSoftBreak_ = qp_ && lastWasEquals_ && mode_ == Mode::Value;
  lastWasEquals_ = false;
  qpEscape_ = 0;  // "=" at a line's end is a soft break, no escape
  mode_ = Mode::LineStart;
}

void CardContentReader::Finish(CardFacts& facts) {
  EndProperty();
  facts.version = version_.empty() ? "none" : version_;
  facts.largestPicture = largestPicture_;
  facts.quotedPrintable = anyQp_;
  facts.undeclared8Bit = anyUndeclared_ && facts.version == "2.1";
  Reset();
}

void CardContentReader::Reset() {
  mode_ = Mode::Mark;
  hasOddByte_ = afterSoftBreak_ = lastWasEquals_ = false;
  property_ = Property::None;
  depth_ = 0;
  version_.clear();
  largestPicture_ = 0;
  anyQp_ = anyUndeclared_ = false;
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
  if (card.version == "2.1") {
    ++v21;
  } else if (card.version == "3.0") {
    ++v30;
  } else if (card.version == "4.0") {
    ++v40;
  } else if (card.version == "none") {
    ++none;
  } else {
    ++other;
  }
  quotedPrintable += card.quotedPrintable;
  picturesOver224K += card.largestPicture > kPictureLimit;
  undeclared8Bit += card.undeclared8Bit;
}

namespace {

// A version as written may hold anything; rows show only what is safe in
// any of the forms.
std::string Shown(const std::string& version) {
  std::string shown = version;
  for (char& c : shown) {
    const bool safe =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '-';
    if (!safe) c = '?';
  }
  return shown;
}

std::string EndNames(const CardFacts& card, const char* between) {
  std::string text;
  const auto add = [&](std::uint64_t count, const char* name) {
    if (count == 0) return;
    if (!text.empty()) text += between;
    text += name;
  };
  add(card.crLf, "CRLF");
  add(card.lf, "LF");
  add(card.cr, "CR");
  add(card.crCrLf, "CRCRLF");
  return text.empty() ? "none" : text;
}

const char* YesNo(bool value) {
  return value ? "yes" : "no";
}

std::string Padded(std::string text, std::size_t width, bool right = true) {
  if (text.size() >= width) return text;
  return right ? std::string(width - text.size(), ' ') + text : text + std::string(width - text.size(), ' ');
}

std::string Cards(std::uint64_t n) {
  return std::to_string(n) + (n == 1 ? " card" : " cards");
}

}  // namespace

std::string ReportHead(ReportFormat format) {
  switch (format) {
    case ReportFormat::Tsv:
      return "card\tline\tversion\tbytes\tpicture_bytes\tquoted_printable\tundeclared_8bit\tline_ends\n";
    case ReportFormat::Json:
      return "{\"cards\": [";
    case ReportFormat::Text:
      break;
  }
  return "   card     line version      bytes    picture  QP   8-bit  line ends\n";
}

std::string ReportRow(ReportFormat format, const CardFacts& card) {
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  switch (format) {
    case ReportFormat::Tsv:
      return n(card.number) + "\t" + n(card.firstLine) + "\t" + Shown(card.version) + "\t" + n(card.bytes) +
             "\t" + n(card.largestPicture) + "\t" + YesNo(card.quotedPrintable) + "\t" +
             YesNo(card.undeclared8Bit) + "\t" + EndNames(card, ",") + "\n";
    case ReportFormat::Json: {
      std::string row = card.number == 1 ? "\n" : ",\n";
      row += "  {\"card\": " + n(card.number) + ", \"line\": " + n(card.firstLine) + ", \"version\": \"" +
             Shown(card.version) + "\", \"bytes\": " + n(card.bytes) +
             ", \"picture_bytes\": " + n(card.largestPicture) +
             ", \"quoted_printable\": " + (card.quotedPrintable ? "true" : "false") +
             ", \"undeclared_8bit\": " + (card.undeclared8Bit ? "true" : "false") + ", \"line_ends\": [";
      const std::string ends = EndNames(card, "\", \"");
      if (ends != "none") row.append("\"").append(ends).append("\"");
      return row + "]}";
    }
    case ReportFormat::Text:
      break;
  }
  return Padded(n(card.number), 7) + Padded(n(card.firstLine), 9) + " " +
         Padded(Shown(card.version), 7, false) + Padded(n(card.bytes), 11) +
         Padded(n(card.largestPicture), 11) + "  " + Padded(YesNo(card.quotedPrintable), 4, false) + " " +
         Padded(YesNo(card.undeclared8Bit), 6, false) + " " + EndNames(card, "+") + "\n";
}

std::string ReportTail(ReportFormat format, const ReportSummary& s) {
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  const std::string form = FormName(s.seen.encoding, s.bytes == 0);
  if (format == ReportFormat::Tsv) return {};
  if (format == ReportFormat::Json) {
    return std::string(s.cards ? "\n" : "") + "],\n \"file\": {\"form\": \"" + form +
           "\", \"bytes\": " + n(s.bytes) + ", \"unfinished_card_line\": " + n(s.seen.unfinishedCardLine) +
           "},\n \"summary\": {\"cards\": " + n(s.cards) + ", \"versions\": {\"2.1\": " + n(s.v21) +
           ", \"3.0\": " + n(s.v30) + ", \"4.0\": " + n(s.v40) + ", \"none\": " + n(s.none) +
           ", \"other\": " + n(s.other) + "}, \"quoted_printable\": " + n(s.quotedPrintable) +
           ", \"pictures_over_224k\": " + n(s.picturesOver224K) +
           ", \"undeclared_8bit\": " + n(s.undeclared8Bit) + "}}\n";
  }
  return "\nform: " + form + "\ncards: " + n(s.cards) + " (2.1: " + n(s.v21) + ", 3.0: " + n(s.v30) +
         ", 4.0: " + n(s.v40) + ", none: " + n(s.none) + ", other: " + n(s.other) + ")\n" +
         "quoted-printable: " + Cards(s.quotedPrintable) + "\n" +
         "photos or logos over 224 KB: " + Cards(s.picturesOver224K) + "\n" +
         "undeclared 8-bit text: " + Cards(s.undeclared8Bit) + "\n";
}

namespace {

// Reads the line ends of the source again, by the scanner's rules (CR LF,
// CR CR LF, a lone CR, a lone LF, greedily), to give each card the ends of
// its own lines: the scanner settles the kind of a CR's end only at the
// next character, after it has told of the line.
class LineEndReader {
 public:
  enum Kind { kEndCrLf, kEndLf, kEndCr, kEndCrCrLf };
  using Ended = void (*)(void* context, Kind kind);
  LineEndReader(Ended ended, void* context) : ended_(ended), context_(context) {}

  void Feed(std::span<const std::byte> data) {
    if (!decided_) {
      while (headBytes_ < 3 && !data.empty()) {
        head_[headBytes_++] = data.front();
        data = data.subspan(1);
      }
      if (headBytes_ < 3) return;
      Decide();
    }
    Scan(data);
  }
  void Finish() {
    if (!decided_) Decide();
    if (pendingCr_ >= 1) ended_(context_, kEndCr);
    if (pendingCr_ == 2) ended_(context_, kEndCr);
    pendingCr_ = 0;
  }

 private:
  void Decide() {
    std::size_t markBytes = 0;
    const auto encoding = EncodingOf({head_, headBytes_}, markBytes);
    unitBytes_ = encoding == SourceEncoding::Bytes || encoding == SourceEncoding::Utf8Mark ? 1 : 2;
    bigEndian_ = encoding == SourceEncoding::Utf16Be || encoding == SourceEncoding::Utf16BeMark;
    decided_ = true;
    Scan(std::span<const std::byte>(head_, headBytes_).subspan(markBytes));
  }

  void Scan(std::span<const std::byte> data) {
    if (unitBytes_ == 1) return ScanBytes(data.data(), data.data() + data.size());
    if (hasOddByte_ && !data.empty()) {
      Take(Unit(oddByte_, data[0]));
      hasOddByte_ = false;
      data = data.subspan(1);
    }
    std::size_t at = 0;
    for (; at + 2 <= data.size(); at += 2) Take(Unit(data[at], data[at + 1]));
    if (at < data.size()) {
      oddByte_ = data[at];
      hasOddByte_ = true;
    }
  }

  // Only CR and LF matter: the bytes between them are passed over with
  // memchr, each searched for only once the last one found is passed.
  void ScanBytes(const std::byte* p, const std::byte* end) {
    const std::byte* cr = nullptr;  // the next CR at or after p, or end
    const std::byte* lf = nullptr;
    const auto find = [&](const std::byte* from, char c) {
      const void* at = std::memchr(from, c, static_cast<std::size_t>(end - from));
      return at ? static_cast<const std::byte*>(at) : end;
    };
    while (p < end) {
      if (pendingCr_) {
        Take(std::to_integer<std::uint16_t>(*p++));
        continue;
      }
      if (!cr || cr < p) cr = find(p, '\r');
      if (!lf || lf < p) lf = find(p, '\n');
      const std::byte* next = std::min(cr, lf);
      if (next == end) return;
      Take(std::to_integer<std::uint16_t>(*next));
      p = next + 1;
    }
  }

  std::uint16_t Unit(std::byte a, std::byte b) const {
    const auto first = std::to_integer<std::uint16_t>(a), second = std::to_integer<std::uint16_t>(b);
    return bigEndian_ ? static_cast<std::uint16_t>(first << 8 | second)
                      : static_cast<std::uint16_t>(second << 8 | first);
  }

  void Take(std::uint16_t unit) {
    if (pendingCr_ == 1) {
      if (unit == kLf) return pendingCr_ = 0, ended_(context_, kEndCrLf);
      if (unit == kCr) return void(pendingCr_ = 2);
      pendingCr_ = 0;
      ended_(context_, kEndCr);
    } else if (pendingCr_ == 2) {
      if (unit == kLf) return pendingCr_ = 0, ended_(context_, kEndCrCrLf);
      ended_(context_, kEndCr);
      if (unit == kCr) return;  // this CR may still begin a CR CR LF
      pendingCr_ = 0;
      ended_(context_, kEndCr);
    }
    if (unit == kCr) pendingCr_ = 1;
    if (unit == kLf) ended_(context_, kEndLf);
  }

  Ended ended_;
  void* context_;
  bool decided_ = false;
  std::byte head_[3] = {};
  std::size_t headBytes_ = 0;
  std::size_t unitBytes_ = 1;
  bool bigEndian_ = false;
  std::byte oddByte_{};
  bool hasOddByte_ = false;
  int pendingCr_ = 0;
};

// Follows the scanner through the source: where each card begins and ends,
// and its bytes, which go to a content reader. A block goes to the scanner
// first, then to the line-end reader, which hands each card on once it has
// read the end of its last line.
class ReportScan final : public LineSink {
 public:
  using Row = void (*)(void* context, const CardFacts& card);
  ReportScan(Row row, void* context) : row_(row), context_(context) {}

  void Feed(std::span<const std::byte> data) {
    summary_.bytes += data.size();
    scanner_.Feed(data, *this);
    ends_.Feed(data);
  }
  const ReportSummary& Finish() {
    scanner_.Finish(*this);
    ends_.Finish();
    // A last card whose END line has no line end.
    for (; !waiting_.empty() && waiting_.front().lastLine; waiting_.pop_front()) Hand(waiting_.front().facts);
    summary_.seen = scanner_.Statistics();
    return summary_;
  }

  bool LineEnded(bool cardDone) override {
    if (!inCard_ && (cardDone || scanner_.InsideCard())) {
      inCard_ = true;
      waiting_.push_back({});
      waiting_.back().facts.firstLine = scanner_.Statistics().lines;
    }
    if (cardDone) EndCard();
    return true;
  }
  bool CardPart(std::span<const std::byte> part) override {
    Reader().Feed(part);
    partBytes_ += part.size();
    return true;
  }

 private:
  struct Waiting {
    CardFacts facts;
    std::uint64_t lastLine = 0;  // 0: not known yet
  };

  CardContentReader& Reader() {
    if (!reader_) reader_.emplace(scanner_.Statistics().encoding);
    return *reader_;
  }

  void EndCard() {
    const auto card = scanner_.Card();
    Reader().Feed(card);
    Waiting& waiting = waiting_.back();
    waiting.lastLine = scanner_.Statistics().lines;
    waiting.facts.bytes = partBytes_ + card.size();
    reader_->Finish(waiting.facts);
    scanner_.ClearCard();
    partBytes_ = 0;
    inCard_ = false;
  }

  static void LineEnd(void* context, LineEndReader::Kind kind) {
    auto& self = *static_cast<ReportScan*>(context);
    const std::uint64_t line = ++self.lines_;
    if (self.waiting_.empty() || line < self.waiting_.front().facts.firstLine) return;
    Waiting& card = self.waiting_.front();
    std::uint64_t* counts[] = {&card.facts.crLf, &card.facts.lf, &card.facts.cr, &card.facts.crCrLf};
    ++*counts[kind];
    if (line != card.lastLine) return;
    self.Hand(card.facts);
    self.waiting_.pop_front();
  }

  void Hand(CardFacts& facts) {
    facts.number = summary_.cards + 1;
    summary_.Add(facts);
    row_(context_, facts);
  }

  CardScanner scanner_;
  LineEndReader ends_{&ReportScan::LineEnd, this};
  std::optional<CardContentReader> reader_;
  Row row_;
  void* context_;
  ReportSummary summary_;
  // Cards the scanner has read whose line ends are not all read yet: those
  // of one block at most, and the one still open.
  std::deque<Waiting> waiting_;
  std::uint64_t lines_ = 0;  // lines whose end the line-end reader has read
  std::uint64_t partBytes_ = 0;
  bool inCard_ = false;
};

class Printer {
 public:
  explicit Printer(ReportFormat format) : format_(format) { text_ = ReportHead(format); }
  static void Row(void* context, const CardFacts& card) {
    auto& self = *static_cast<Printer*>(context);
    self.text_ += ReportRow(self.format_, card);
    if (self.text_.size() >= kPrintBatch) self.Flush();
  }
  void Flush() {
    Print(stdout, Native(text_));
    text_.clear();
  }
  void Tail(const ReportSummary& summary) {
    text_ += ReportTail(format_, summary);
    Flush();
    std::fflush(stdout);
  }

 private:
  ReportFormat format_;
  std::string text_;
};

}  // namespace

int RunReport(const NativeString& source, bool standardInput, ReportFormat format, FileSystem& files) {
  const NativeString name = SourceName(source, standardInput);
  std::optional<IoError> error;
  const auto file = standardInput ? files.OpenStandardInput(error) : files.OpenSource(source, error);
  if (!file) {
    const RunFailure failure{FailedStep::OpenSource, source, error ? error->reason : NativeString{}, 0};
    Print(stderr, MessageLine(FailureLine(failure, name, false)));
    return 1;
  }
  Printer printer(format);
  ReportScan scan(&Printer::Row, &printer);
  std::vector<std::byte> block(kReadBlock);
  for (;;) {
    const std::size_t got = file->Read(block, error);
    if (error) {
      printer.Flush();
      Print(stderr,
            MessageLine(FailureLine({FailedStep::ReadSource, source, error->reason, 0}, name, false)));
      return 1;
    }
    if (got == SourceFile::kNothingYet) continue;
    if (got == 0) break;
    scan.Feed({block.data(), got});
  }
  const ReportSummary& summary = scan.Finish();
  printer.Tail(summary);
  if (summary.seen.lines > 0 && !summary.seen.anyBeginLine) Print(stderr, MessageLine(NoCardWarning(name)));
  if (summary.seen.unfinishedCardLine == 0) return 0;
  Print(stderr, MessageLine(UnfinishedCardWarning(name, summary.seen.unfinishedCardLine, true)));
  return 3;
}

std::vector<CardFacts> CardsOf(std::span<const std::byte> source, ReportSummary* summary) {
  std::vector<CardFacts> cards;
  ReportScan scan(
      [](void* context, const CardFacts& card) {
        static_cast<std::vector<CardFacts>*>(context)->push_back(card);
      },
      &cards);
  scan.Feed(source);
  const ReportSummary& seen = scan.Finish();
  if (summary) *summary = seen;
  return cards;
}

}  // namespace quillmere::cli
