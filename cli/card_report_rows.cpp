// The report's rows in its three forms, and the run that prints them as the
// cards are read.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "card_report.h"
#include "console.h"
#include "report.h"

namespace quillmere::cli {
namespace {

// Small enough that a block just read is still in the processor's cache
// when it is looked at, as --check reads.
constexpr std::size_t kReadBlock = std::size_t{64} << 10;
// Rows are gathered and printed this many bytes at a time.
constexpr std::size_t kPrintBatch = 16 << 10;

}  // namespace

namespace {

// No row is longer: a version is at most kTextKept characters, a number 20
// digits.
constexpr std::size_t kLongestRow = 512;

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The smallest number of each count of digits a 64-bit value can have.
constexpr auto kPowersOf10 = [] {
  std::array<std::uint64_t, 20> powers{1};
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// Each byte of a version as a row shows it: digits, letters, '.' and '-'
// as they are, anything else as '?'.
constexpr auto kShown = [] {
  std::array<char, 256> shown{};
  for (std::size_t c = 0; c < shown.size(); ++c) {
    const bool safe =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '-';
    shown[c] = safe ? static_cast<char>(c) : '?';
  }
  return shown;
}();

// A text row's last columns, whole: its two answers, each padded to its
// column and the space after it, and a single kind of line end.
struct TextRowTail {
  char text[24] = {};
  std::size_t size = 0;
};
// By 4 x quoted-printable + 2 x undeclared 8-bit + whether the ends are LF
// (rather than CR LF).
constexpr auto kTextTails = [] {
  std::array<TextRowTail, 8> tails{};
  for (std::size_t i = 0; i < tails.size(); ++i) {
    const std::string_view pieces[] = {"  ", i & 4 ? "yes  " : "no   ", i & 2 ? "yes    " : "no     ",
                                       i & 1 ? "LF\n" : "CRLF\n"};
    for (const std::string_view piece : pieces)
      for (const char c : piece) tails[i].text[tails[i].size++] = c;
  }
  return tails;
}();

// A row made in place, in a buffer with room for the longest row.
class RowText {
 public:
  explicit RowText(char* at) : at_(at) {}
  // Byte by byte: the pieces are a few bytes, too short to pay for a call.
  void Put(std::string_view text) {
    for (const char c : text) *at_++ = c;
  }
  template <std::size_t kSize>
  void Put(const char (&text)[kSize]) {
    std::memcpy(at_, text, kSize - 1);
    at_ += kSize - 1;
  }
  // One of two texts of the same size.
  template <std::size_t kSize>
  void Put(bool first, const char (&text)[kSize], const char (&other)[kSize]) {
    std::memcpy(at_, first ? text : other, kSize - 1);
    at_ += kSize - 1;
  }
  void Put(std::uint64_t n) { at_ = std::to_chars(at_, at_ + 20, n).ptr; }
  // Right-aligned in at least `width` columns.
  void Right(std::uint64_t n, std::size_t width) {
    if (n < kPowersOf10[width]) {
      // It fits its column, as nearly every one does: the digits go back
      // from the column's end over spaces, with no count of them first.
      Spaces(width, 0);
      Digits(at_, n);
      return;
    }
    std::size_t size = 1;
    for (std::uint64_t rest = n; rest >= 100; rest /= 100) size += 2;
    size += size < kPowersOf10.size() && n >= kPowersOf10[size];
    Spaces(width, size);
    at_ += size;
    Digits(at_, n);
  }
  // A version as written may hold anything; rows show only what is safe in
  // any of the forms.
  void Version(const std::string& version, std::size_t width = 0) {
    const char* const text = version.data();
    if (version.size() == 3) {
      // "2.1", "3.0", "4.0": no loop to count.
      at_[0] = kShown[static_cast<unsigned char>(text[0])];
      at_[1] = kShown[static_cast<unsigned char>(text[1])];
      at_[2] = kShown[static_cast<unsigned char>(text[2])];
      at_ += 3;
    } else {
      for (std::size_t i = 0; i < version.size(); ++i) *at_++ = kShown[static_cast<unsigned char>(text[i])];
    }
    Spaces(width, version.size());
  }
  // The kinds of line end the card has, or `none` when it has none.
  void Ends(const CardFacts& card, std::string_view between, std::string_view none) {
    // Most cards have one kind.
    if (card.crLf != 0 && card.lf + card.cr + card.crCrLf == 0) return Put("CRLF");
    if (card.lf != 0 && card.crLf + card.cr + card.crCrLf == 0) return Put("LF");
    const std::pair<std::uint64_t, std::string_view> kinds[] = {
        {card.crLf, "CRLF"}, {card.lf, "LF"}, {card.cr, "CR"}, {card.crCrLf, "CRCRLF"}};
    bool first = true;
    for (const auto& [count, name] : kinds) {
      if (count == 0) continue;
      if (!first) Put(between);
      Put(name);
      first = false;
    }
    if (first) Put(none);
  }
  // The rest of a text row, from the QP column, when the card's lines all
  // end alike in CR LF or in LF, as nearly every card's do: one prepared
  // piece. Returns false, having put nothing, for other cards.
  bool TextTail(const CardFacts& card) {
    const bool onlyCrLf = card.crLf != 0 && card.lf + card.cr + card.crCrLf == 0;
    const bool onlyLf = card.lf != 0 && card.crLf + card.cr + card.crCrLf == 0;
    if (!onlyCrLf && !onlyLf) return false;
    const TextRowTail& tail = kTextTails[4 * card.quotedPrintable + 2 * card.undeclared8Bit + onlyLf];
    std::memcpy(at_, tail.text, sizeof tail.text);
    at_ += tail.size;
    return true;
  }
  char* End() const { return at_; }

 private:
  // The digits of n, ending at `end`: two at a time, from the right.
  static void Digits(char* end, std::uint64_t n) {
    for (; n >= 100; n /= 100) {
      end -= 2;
      std::memcpy(end, kPairs + 2 * (n % 100), 2);
    }
    if (n >= 10) {
      std::memcpy(end - 2, kPairs + 2 * n, 2);
    } else {
      end[-1] = static_cast<char>('0' + n);
    }
  }

  // Columns are narrower than kSpaces, and the buffer has room to spare:
  // a fixed copy costs less than a counted one.
  void Spaces(std::size_t width, std::size_t used) {
    static constexpr char kSpaces[] = "                ";
    std::memcpy(at_, kSpaces, sizeof kSpaces - 1);
    if (used < width) at_ += width - used;
  }

  char* at_;
};

// The fields of a row in the two forms for scripts, by the names both give
// them (the TSV form in its head, JSON as keys), in this order; the line
// ends come after them. A field is a number, a yes-or-no, or else the
// version.
struct ScriptField {
  std::string_view name;
  std::uint64_t CardFacts::*number = nullptr;
  bool CardFacts::*flag = nullptr;
};
constexpr ScriptField kScriptFields[] = {{"card", &CardFacts::number},
                                         {"line", &CardFacts::firstLine},
                                         {"version"},
                                         {"bytes", &CardFacts::bytes},
                                         {"picture_bytes", &CardFacts::largestPicture},
                                         {"quoted_printable", nullptr, &CardFacts::quotedPrintable},
                                         {"undeclared_8bit", nullptr, &CardFacts::undeclared8Bit}};

// The fields, tab-separated or as JSON members ("name": value, the version
// a string), with the line ends' name or key after them.
void PutScriptFields(RowText& row, const CardFacts& card, bool json) {
  for (const ScriptField& field : kScriptFields) {
    if (json) {
      row.Put(&field == kScriptFields ? "{\"" : ", \"");
      row.Put(field.name);
      row.Put("\": ");
    }
    if (field.number) {
      row.Put(card.*field.number);
    } else if (field.flag) {
      row.Put(card.*field.flag ? (json ? "true" : "yes") : (json ? "false" : "no"));
    } else {
      if (json) row.Put("\"");
      row.Version(card.version);
      if (json) row.Put("\"");
    }
    if (!json) row.Put("\t");
  }
  if (json) row.Put(", \"line_ends\": ");
}

std::string Cards(std::uint64_t n) {
  return std::to_string(n) + (n == 1 ? " card" : " cards");
}

}  // namespace

std::string ReportHead(ReportFormat format) {
  switch (format) {
    case ReportFormat::Tsv: {
      std::string head;
      for (const ScriptField& field : kScriptFields) head.append(field.name).append("\t");
      return head + "line_ends\n";
    }
    case ReportFormat::Json:
      return "{\"cards\": [";
    case ReportFormat::Text:
      break;
  }
  return "   card     line version      bytes    picture  QP   8-bit  line ends\n";
}

namespace {

// Writes the row at `at`, which has room for kLongestRow bytes; returns its end.
char* PutRow(char* at, ReportFormat format, const CardFacts& card) {
  RowText row(at);
  switch (format) {
    case ReportFormat::Tsv:
      PutScriptFields(row, card, false);
      row.Ends(card, ",", "none");
      row.Put("\n");
      break;
    case ReportFormat::Json:
      // The first row has no comma before it.
      row.Put(card.number == 1 ? "\n  " : ",\n  ");
      PutScriptFields(row, card, true);
      row.Put("[");
      if (card.crLf + card.lf + card.cr + card.crCrLf != 0) {
        row.Put("\"");
        row.Ends(card, "\", \"", "");
        row.Put("\"");
      }
      row.Put("]}");
      break;
    case ReportFormat::Text:
      row.Right(card.number, 7);
      row.Right(card.firstLine, 9);
      row.Put(" ");
      row.Version(card.version, 7);
      row.Right(card.bytes, 11);
      row.Right(card.largestPicture, 11);
      if (row.TextTail(card)) break;
      // Each answer padded to its column and the space after it.
      row.Put("  ");
      row.Put(card.quotedPrintable, "yes  ", "no   ");
      row.Put(card.undeclared8Bit, "yes    ", "no     ");
      row.Ends(card, "+", "none");
      row.Put("\n");
      break;
  }
  return row.End();
}

}  // namespace

void AddReportRow(std::string& out, ReportFormat format, const CardFacts& card) {
  char row[kLongestRow];
  out.append(row, PutRow(row, format, card));
}

std::string ReportTail(ReportFormat format, const ReportSummary& s) {
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  const std::string form = FormName(s.encoding, s.bytes == 0);
  if (format == ReportFormat::Tsv) return {};
  if (format == ReportFormat::Json) {
    return std::string(s.cards ? "\n" : "") + "],\n \"file\": {\"form\": \"" + form +
           "\", \"bytes\": " + n(s.bytes) + ", \"unfinished_card_line\": " + n(s.unfinishedCardLine) +
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

// Rows are made where they are gathered, and printed kPrintBatch bytes at a
// time.
class Printer {
 public:
  explicit Printer(ReportFormat format) : format_(format), text_(kPrintBatch + kLongestRow, '\0') {
    Print(stdout, Native(ReportHead(format)));
  }
  static void Row(void* context, const CardFacts& card) {
    auto& self = *static_cast<Printer*>(context);
    self.used_ = static_cast<std::size_t>(PutRow(self.text_.data() + self.used_, self.format_, card) -
                                          self.text_.data());
    if (self.used_ >= kPrintBatch) self.Flush();
  }
  void Flush() {
#ifdef _WIN32
    Print(stdout, Native({text_.data(), used_}));
#else
    // Natively the rows are already the text to print, with no CR in them:
    // they are written as they are, with no copy. Whatever a failed write
    // leaves goes through Print, which keeps the failure for the exit
    // status.
    const std::size_t written = std::fwrite(text_.data(), 1, used_, stdout);
    if (written < used_) Print(stdout, text_.substr(written, used_ - written));
#endif
    used_ = 0;
  }
  void Tail(const ReportSummary& summary) {
    Flush();
    Print(stdout, Native(ReportTail(format_, summary)));
    FlushStandardOutput();
  }

 private:
  ReportFormat format_;
  std::string text_;
  std::size_t used_ = 0;
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
  CardReport report(&Printer::Row, &printer);
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
    report.Feed({block.data(), got});
  }
  const ReportSummary& summary = report.Finish();
  printer.Tail(summary);
  if (summary.lines > 0 && !summary.anyBeginLine) Print(stderr, MessageLine(NoCardWarning(name)));
  if (summary.unfinishedCardLine == 0) return 0;
  Print(stderr, MessageLine(UnfinishedCardWarning(name, summary.unfinishedCardLine, true)));
  return 3;
}

std::vector<CardFacts> CardsOf(std::span<const std::byte> source, ReportSummary* summary, std::size_t block) {
  std::vector<CardFacts> cards;
  CardReport report(
      [](void* context, const CardFacts& card) {
        static_cast<std::vector<CardFacts>*>(context)->push_back(card);
      },
      &cards);
  for (std::size_t at = 0; at < source.size();) {
    const std::size_t size = std::min(block, source.size() - at);
    report.Feed(source.subspan(at, size));
    at += size;
  }
  const ReportSummary& seen = report.Finish();
  if (summary) *summary = seen;
  return cards;
}

}  // namespace quillmere::cli
