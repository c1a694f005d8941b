#include "check.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "card_report.h"
#include "console.h"
#include "quillmere/card_scanner.h"
#include "quillmere/shape_scan.h"
#include "report.h"

namespace quillmere::cli {
namespace {

// As large as the splitter's own reads: fewer calls cost less than anything
// the scanner does with the bytes.
constexpr std::size_t kReadBlock = std::size_t{256} << 10;

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
  return FormName(facts.seen.encoding, facts.bytes == 0);
}

// The source's bytes go to the scanner; the bytes are counted on the way.
class Scan {
 public:
  void Feed(std::span<const std::byte> data) {
    bytes_ += data.size();
    scanner_.Feed(data);
  }
  // The whole source at once, instead of Feed: an 8-bit or UTF-8 one is
  // read by the shape reader, which gives what the scanner would and is far
  // quicker.
  void TakeWhole(std::span<const std::byte> data) {
    whole_ = ScanShape(data);
    if (whole_) {
      bytes_ = data.size();
    } else {
      Feed(data);
    }
  }
  CheckFacts Finish() {
    if (whole_) return {bytes_, whole_->cards, whole_->seen};
    const SourceShape read = scanner_.Finish();
    return {bytes_, read.cards, read.seen};
  }

 private:
  ShapeByScanner scanner_;
  std::uint64_t bytes_ = 0;
  std::optional<SourceShape> whole_;
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

// A regular file is scanned through a mapping of it, which is quicker than
// copying it into a buffer. False when the file cannot be mapped; it is then
// read as a split reads it, which also says why it cannot be read.
bool ScanMapped(const NativeString& source, Scan& scan) {
#ifdef _WIN32
  (void)source;
  (void)scan;
  return false;
#else
  const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  void* mapped = MAP_FAILED;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    mapped = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  }
  ::close(fd);
  if (mapped == MAP_FAILED) return false;
  const auto size = static_cast<std::size_t>(info.st_size);
  scan.TakeWhole({static_cast<const std::byte*>(mapped), size});
  ::munmap(mapped, size);
  return true;
#endif
}

// Reads the source as a split reads it. False, after saying why, when it
// cannot be read.
bool ScanRead(const NativeString& source, bool standardInput, FileSystem& files, const NativeString& name,
              Scan& scan) {
  std::optional<IoError> error;
  const auto file = standardInput ? files.OpenStandardInput(error) : files.OpenSource(source, error);
  if (!file) {
    const RunFailure failure{FailedStep::OpenSource, source, error ? error->reason : NativeString{}, 0};
    Print(stderr, MessageLine(FailureLine(failure, name, false)));
    return false;
  }
  std::vector<std::byte> block(kReadBlock);
  for (;;) {
    const std::size_t got = file->Read(block, error);
    if (error) {
      Print(stderr,
            MessageLine(FailureLine({FailedStep::ReadSource, source, error->reason, 0}, name, false)));
      return false;
    }
    if (got == SourceFile::kNothingYet) continue;  // a pipe with nothing yet: read again
    if (got == 0) return true;
    scan.Feed({block.data(), got});
  }
}

}  // namespace

int RunCheck(const NativeString& source, bool standardInput, FileSystem& files) {
  const NativeString name = SourceName(source, standardInput);
  Scan scan;
  const bool mapped = !standardInput && &files == &SystemFiles() && ScanMapped(source, scan);
  if (!mapped && !ScanRead(source, standardInput, files, name, scan)) return 1;
  const CheckFacts facts = scan.Finish();
  Print(stdout, Native(CheckReport(facts)));
  if (facts.seen.lines > 0 && !facts.seen.anyBeginLine) Print(stderr, MessageLine(NoCardWarning(name)));
  if (facts.seen.unfinishedCardLine == 0) return 0;
  Print(stderr, MessageLine(UnfinishedCardWarning(name, facts.seen.unfinishedCardLine, true)));
  return 3;
}

}  // namespace quillmere::cli
