#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "options.h"
#include "quillmere/file_system.h"
#include "quillmere/native_text.h"
#include "quillmere/scan_statistics.h"

namespace quillmere::cli {

// What --report tells of one card. Every fact is read from the card's
// bytes; nothing is decoded, nothing is changed.
struct CardFacts {
  std::uint64_t number = 0;          // from 1, as a split numbers the files
  std::uint64_t firstLine = 0;       // of its BEGIN line in the source
  std::string version;               // the card's own VERSION value ("2.1", "3.0", "4.0"), or "none"
  std::uint64_t bytes = 0;           // the size of its file after a split
  std::uint64_t largestPicture = 0;  // bytes of its largest PHOTO or LOGO value, as written
  bool quotedPrintable = false;      // a property says QUOTED-PRINTABLE
  // Version 2.1 only (later versions are UTF-8 throughout): a property
  // holds a byte (or, quoted-printable, an escape) past ASCII and has no
  // CHARSET parameter.
  bool undeclared8Bit = false;
  // Line ends in the source, as the scanner reads them.
  std::uint64_t crLf = 0, lf = 0, cr = 0, crCrLf = 0;
};

// Reads one card as the scanner gives it (CR LF before every line, the
// source's mark at the start, 16-bit units in a 16-bit source), in as many
// pieces as it comes, holding no more than a property's name and
// parameters. Folded lines (a leading space or tab), lines without a colon
// (the data lines of a 2.1 picture) and lines after a quoted-printable soft
// break belong to the property before them.
class CardContentReader {
 public:
  explicit CardContentReader(SourceEncoding encoding);
  void Feed(std::span<const std::byte> bytes);
  // The card has ended: fills in version, picture, quoted-printable and
  // undeclared 8-bit text, and makes ready for the next card.
  void Finish(CardFacts& facts);

 private:
  enum class Mode { Mark, LineStart, Head, Value };
  void Take(std::uint16_t unit);
  void TakeValue(std::uint16_t unit);
  const std::byte* ValueRun(const std::byte* p, const std::byte* end);
  void StartProperty();
  void EndProperty();
  void EndLine();
  void Reset();

  std::size_t unitBytes_;
  bool bigEndian_;
  std::byte oddByte_{};
  bool hasOddByte_ = false;

  Mode mode_ = Mode::Mark;
  std::string head_;             // the line so far, until its colon: name and parameters
  std::uint64_t headUnits_ = 0;  // of the line so far, held or not
  bool headTooLong_ = false;
  bool headNonAscii_ = false;
  bool inQuotes_ = false;
  bool afterSoftBreak_ = false;  // the last line of a QP value ended in "="
  bool lastWasEquals_ = false;
  // The property being read.
  enum class Property { None, Other, Picture, Version, Begin, End };
  Property property_ = Property::None;
  bool qp_ = false, charset_ = false, nonAscii_ = false;
  bool keepText_ = false;  // VERSION, BEGIN, END: their value is read
  std::string text_;
  std::uint64_t valueUnits_ = 0;
  int qpEscape_ = 0;  // 1: after "=" in a quoted-printable value
  // The card so far.
  std::uint64_t depth_ = 0;
  std::string version_;
  std::uint64_t largestPicture_ = 0;
  bool anyQp_ = false;
  bool anyUndeclared_ = false;
};

// The source's form: "8-bit", "UTF-8 with mark", "UTF-16 LE without mark", ...
const char* FormName(SourceEncoding encoding, bool empty);

// What --report adds up after the rows.
struct ReportSummary {
  std::uint64_t cards = 0;
  std::uint64_t v21 = 0, v30 = 0, v40 = 0, none = 0, other = 0;
  std::uint64_t quotedPrintable = 0;
  std::uint64_t picturesOver224K = 0;  // cards with a PHOTO or LOGO value over 224 KiB
  std::uint64_t undeclared8Bit = 0;
  std::uint64_t bytes = 0;  // of the source
  ScanStatistics seen;
  void Add(const CardFacts& card);
};

// The report's text in the three forms, a row at a time.
std::string ReportHead(ReportFormat format);
std::string ReportRow(ReportFormat format, const CardFacts& card);
std::string ReportTail(ReportFormat format, const ReportSummary& summary);

// Reads the source in blocks with the splitter's scanner, writes nothing,
// and prints a row per card as it ends, then the summary. Returns the exit
// status --check gives: 0, 3 for an unfinished last card, 1 when the source
// cannot be read.
int RunReport(const NativeString& source, bool standardInput, ReportFormat format,
              FileSystem& files = SystemFiles());

// The facts of every card of a source held whole, and the summary.
std::vector<CardFacts> CardsOf(std::span<const std::byte> source, ReportSummary* summary = nullptr);

}  // namespace quillmere::cli
