#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
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
  // CHARSET parameter. A picture's value is data, not text.
  bool undeclared8Bit = false;
  // Line ends in the source, as the scanner reads them.
  std::uint64_t crLf = 0, lf = 0, cr = 0, crCrLf = 0;
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
  // The source as the splitter's scanner reads it.
  std::uint64_t bytes = 0;
  SourceEncoding encoding = SourceEncoding::Bytes;
  std::uint64_t lines = 0;
  bool anyBeginLine = false;
  std::uint64_t unfinishedCardLine = 0;  // where the card the source ended inside begins; 0: none
  void Add(const CardFacts& card);
};

// The report's text in the three forms; rows are added to `out` one at a
// time.
std::string ReportHead(ReportFormat format);
void AddReportRow(std::string& out, ReportFormat format, const CardFacts& card);
std::string ReportTail(ReportFormat format, const ReportSummary& summary);

// Reads a source handed in blocks of any size, in one pass and by the
// splitter's rules (the same lines, line ends, cards and card sizes as
// CardScanner), and tells each card's facts as soon as the end of its END
// line is read. Holds no more than a property's name and parameters.
class CardReport {
 public:
  using Row = void (*)(void* context, const CardFacts& card);
  CardReport(Row row, void* context);
  ~CardReport();
  CardReport(const CardReport&) = delete;
  CardReport& operator=(const CardReport&) = delete;

  void Feed(std::span<const std::byte> block);
  // The source has ended: its last line is read.
  const ReportSummary& Finish();

 private:
  class Reader;
  std::unique_ptr<Reader> reader_;
};

// Reads the source in blocks, writes nothing, and prints a row per card as
// it ends, then the summary. Returns the exit status --check gives: 0, 3 for
// an unfinished last card, 1 when the source cannot be read.
int RunReport(const NativeString& source, bool standardInput, ReportFormat format,
              FileSystem& files = SystemFiles());

// The facts of every card of a source held whole, handed over in blocks of
// `block` bytes, and the summary.
std::vector<CardFacts> CardsOf(std::span<const std::byte> source, ReportSummary* summary = nullptr,
                               std::size_t block = SIZE_MAX);

}  // namespace quillmere::cli
