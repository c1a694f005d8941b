#include "check.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "card_scanner.h"
#include "console.h"
#include "report.h"
#include "shape_scan.h"

namespace quillmere::cli {
namespace {

// As large as the splitter's own reads: fewer calls cost less than anything
// the scanner does with the bytes.
constexpr std::size_t kReadBlock = std::size_t{256} << 10;
// The shape reader's blocks: small enough that a block just read is still
// in the processor's cache when it is looked at.
constexpr std::size_t kShapeBlock = std::size_t{64} << 10;
// A line longer than this, carried from one block to the next, is left to
// the scanner.
constexpr std::size_t kLongestLine = std::size_t{1} << 20;

std::string Line(const char* key, const std::string& value) {
  return std::string(key) + ": " + value + "\n";
}

std::string StrayEnds(const ScanStatistics& seen) {
  std::string text = std::to_string(seen.strayEndLines);
  if (seen.strayEndLines == 0) return text;
  text += seen.strayEndLines == 1 ? " (line " : " (lines ";
  const auto shown = std::min<std::uint64_t>(seen.strayEndLines, ScanStatistics::kStrayEndLinesKept);
  for (std::size_t i = 0; i < shown; ++i)
    text += (i ? ", " : "") + std::to_string(seen.firstStrayEndLines[i]);
  return text + (seen.strayEndLines > shown ? ", ...)" : ")");
}

const char* EncodingName(const CheckFacts& facts) {
  switch (facts.seen.encoding) {
    case SourceEncoding::Bytes:
      return facts.bytes == 0 ? "empty" : "8-bit";
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

// The source's bytes go to the scanner; the bytes are counted on the way.
class Scan {
 public:
  void Feed(std::span<const std::byte> data) {
    bytes_ += data.size();
    scanner_.Feed(data);
  }
  CheckFacts Finish() {
    const SourceShape read = scanner_.Finish();
    return {bytes_, read.cards, read.seen};
  }

 private:
  ShapeByScanner scanner_;
  std::uint64_t bytes_ = 0;
};

}  // namespace

std::string CheckReport(const CheckFacts& facts) {
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  const ScanStatistics& f = facts.seen;
  std::string text;
  text += Line("encoding", EncodingName(facts));
  text += Line("line ends", "CR LF " + n(f.crLfEnds) + ", LF " + n(f.lfEnds) + ", CR " + n(f.crEnds) +
                                ", CR CR LF " + n(f.crCrLfEnds));
  text += Line("lines", n(f.lines));
  text += Line("cards", n(facts.cards));
  text += Line("deepest nesting", n(f.deepestNesting));
  text += Line("stray END lines", StrayEnds(f));
  text +=
      Line("unfinished last card", f.unfinishedCardLine ? "from line " + n(f.unfinishedCardLine) : "none");
  text += Line("largest card",
               f.largestCard ? n(f.largestCard) + " (" + n(f.largestCardBytes) + " bytes)" : "none");
  text += Line("lines outside cards", n(f.linesOutsideCards));
  return text;
}

namespace {

void SayUnreadable(FailedStep step, const NativeString& source, const std::optional<IoError>& error,
                   const NativeString& name) {
  const RunFailure failure{step, source, error ? error->reason : NativeString{}, 0};
  Print(stderr, MessageLine(FailureLine(failure, name, false)));
}

// What reading with the shape reader came to.
enum class ShapeRead { Done, LeftToScanner, Failed };

// An 8-bit or UTF-8 file is read block by block by the shape reader, which
// gives what the scanner would and is far quicker. Nothing is mapped: a file
// emptied or cut short while it is read only ends the reading sooner, and a
// sparse one is not filled in.
ShapeRead ReadShape(const NativeString& source, FileSystem& files, const NativeString& name,
                    std::optional<CheckFacts>& facts) {
  std::optional<IoError> error;
  const auto file = files.OpenSource(source, error);
  if (!file) {
    SayUnreadable(FailedStep::OpenSource, source, error, name);
    return ShapeRead::Failed;
  }
  ShapeReader reader(kLongestLine);
  std::vector<std::byte> block(kShapeBlock);
  std::uint64_t bytes = 0;
  for (;;) {
    const std::size_t got = file->Read(block, error);
    if (error) {
      SayUnreadable(FailedStep::ReadSource, source, error, name);
      return ShapeRead::Failed;
    }
    if (got == SourceFile::kNothingYet) continue;  // a FIFO with nothing yet: read again
    if (got == 0) break;
    bytes += got;
    if (!reader.Feed(std::span<const std::byte>(block).first(got))) return ShapeRead::LeftToScanner;
  }
  const auto shape = reader.Finish();
  if (!shape) return ShapeRead::LeftToScanner;
  facts = CheckFacts{bytes, shape->cards, shape->seen};
  return ShapeRead::Done;
}

// Reads the source as a split reads it. False, after saying why, when it
// cannot be read.
bool ScanRead(const NativeString& source, bool standardInput, FileSystem& files, const NativeString& name,
              Scan& scan) {
  std::optional<IoError> error;
  const auto file = standardInput ? files.OpenStandardInput(error) : files.OpenSource(source, error);
  if (!file) {
    SayUnreadable(FailedStep::OpenSource, source, error, name);
    return false;
  }
  std::vector<std::byte> block(kReadBlock);
  for (;;) {
    const std::size_t got = file->Read(block, error);
    if (error) {
      SayUnreadable(FailedStep::ReadSource, source, error, name);
      return false;
    }
    if (got == SourceFile::kNothingYet) continue;  // a pipe with nothing yet: read again
    if (got == 0) return true;
    scan.Feed({block.data(), got});
  }
}

}  // namespace

namespace {

constexpr std::uintmax_t kNoSize = static_cast<std::uintmax_t>(-1);

// The size of a named file, if it is a plain one.
std::uintmax_t SizeOf(const NativeString& source) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(source, error)) return kNoSize;
  const std::uintmax_t size = std::filesystem::file_size(source, error);
  return error ? kNoSize : size;
}

}  // namespace

int RunCheck(const NativeString& source, bool standardInput, FileSystem& files) {
  const NativeString name = SourceName(source, standardInput);
  const std::uintmax_t sizeBefore = standardInput ? kNoSize : SizeOf(source);
  std::optional<CheckFacts> facts;
  if (!standardInput) {
    if (ReadShape(source, files, name, facts) == ShapeRead::Failed) return 1;
  }
  if (!facts) {
    // UTF-16, standard input, or a line longer than the shape reader's
    // buffer: the scanner reads it from its start.
    Scan scan;
    if (!ScanRead(source, standardInput, files, name, scan)) return 1;
    facts = scan.Finish();
  }
  Print(stdout, Native(CheckReport(*facts)));
  // A file that shrank or grew while it was read was reported as it was
  // read; the report may be of no version of it the disk ever held.
  if (sizeBefore != kNoSize && (sizeBefore != facts->bytes || SizeOf(source) != facts->bytes)) {
    Print(stderr,
          MessageLine(Native("warning: ") + name + Native(" changed size while it was read (") +
                      NativeDecimal(sizeBefore) + Native(" bytes at the start, ") +
                      NativeDecimal(facts->bytes) + Native(" read); the report is of the bytes read")));
  }
  if (facts->seen.lines > 0 && !facts->seen.anyBeginLine) Print(stderr, MessageLine(NoCardWarning(name)));
  if (facts->seen.unfinishedCardLine == 0) return 0;
  Print(stderr, MessageLine(UnfinishedCardWarning(name, facts->seen.unfinishedCardLine, true)));
  return 3;
}

}  // namespace quillmere::cli
