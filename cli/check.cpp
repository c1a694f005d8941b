#include "check.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
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
// The shape reader's blocks: small enough that a block just read is still
// in the processor's cache when it is looked at.
constexpr std::size_t kShapeBlock = std::size_t{64} << 10;
// From this size on a plain file is read in parts on several threads. A
// thread started on this kind of machine often waits for the first one's
// processor for a few milliseconds, so below it a second one only adds the
// cost of its start.
constexpr std::uintmax_t kPartsFrom = std::uintmax_t{16} << 20;
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
  return FormName(facts.seen.encoding, facts.bytes == 0);
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
#ifndef _WIN32
// A large plain file is cut into parts read at once, each on a thread of
// its own with positioned reads, as the shape reader's parts were read out
// of a mapping before: a part starts just after a line feed, best right
// before a BEGIN:VCARD line, so that most parts join without a second
// reading.
class PartedRead {
 public:
  PartedRead(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  // Empty when the file cannot be read; `error` then holds errno.
  ShapeRead Read(std::optional<CheckFacts>& facts, int& error) {
    const std::size_t parts = static_cast<std::size_t>(std::min<std::uint64_t>(
        {std::max(1u, std::thread::hardware_concurrency()), 8, size_ / kBytesPerPart}));
    std::vector<std::uint64_t> starts{0};
    for (std::size_t k = 1; k < parts; ++k) {
      const std::uint64_t at = CutNear(std::max(starts.back() + 1, size_ / parts * k), error);
      if (error) return ShapeRead::Failed;
      if (at == 0 || at >= size_) break;
      starts.push_back(at);
    }
    starts.push_back(size_);
    ShapeReader first(kLongestLine);
    std::vector<std::optional<ShapeReader>> later(starts.size() - 1);
    std::vector<int> errors(starts.size() - 1, 0);
    std::vector<std::uint64_t> counts(starts.size() - 1, 0);
    std::vector<char> fed(starts.size() - 1, 1);
    // The first part tells the mark, which the others need.
    const std::uint64_t firstEnd = std::min<std::uint64_t>(starts[1], 3);
    if (!Feed(first, 0, firstEnd, errors[0], &counts[0]) || !first.Started())
      return Fallback(errors[0], error);
    std::vector<std::thread> threads;
    for (std::size_t k = 1; k + 1 < starts.size(); ++k) {
      later[k].emplace(first, starts[k] - first.MarkBytes());
      threads.emplace_back([&, k] {
        fed[k] = Feed(*later[k], starts[k], starts[k + 1], errors[k], &counts[k]);
        later[k]->Flush();
      });
    }
    const bool firstFed = Feed(first, firstEnd, starts[1], errors[0], &counts[0]);
    for (auto& thread : threads) thread.join();
    for (const int e : errors) {
      if (e) return Fallback(e, error);
    }
    if (!firstFed) return ShapeRead::LeftToScanner;
    for (std::size_t k = 1; k + 1 < starts.size(); ++k) {
      if (!fed[k]) return ShapeRead::LeftToScanner;
      if (!first.InsideCard()) {
        first.Append(*later[k]);
      } else if (!Feed(first, starts[k], starts[k + 1], error, nullptr)) {
        return error ? ShapeRead::Failed : ShapeRead::LeftToScanner;
      }
    }
    const auto shape = first.Finish();
    if (!shape) return ShapeRead::LeftToScanner;
    std::uint64_t bytes = 0;
    for (const std::uint64_t count : counts) bytes += count;
    facts = CheckFacts{bytes, shape->cards, shape->seen};
    return ShapeRead::Done;
  }

 private:
  static constexpr std::uint64_t kBytesPerPart = std::uint64_t{8} << 20;

  static ShapeRead Fallback(int partError, int& error) {
    error = partError;
    return partError ? ShapeRead::Failed : ShapeRead::LeftToScanner;
  }

  // Feeds bytes [from, to) to the reader, counting them; a file cut short
  // ends the part early. False when the reader gives up or a read fails
  // (error set).
  bool Feed(ShapeReader& reader, std::uint64_t from, std::uint64_t to, int& error, std::uint64_t* count) {
    std::vector<std::byte> block(kShapeBlock);
    while (from < to) {
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), to - from));
      const ssize_t got = ::pread(fd_, block.data(), want, static_cast<off_t>(from));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        error = errno;
        return false;
      }
      if (got == 0) return true;
      if (count) *count += static_cast<std::uint64_t>(got);
      from += static_cast<std::uint64_t>(got);
      if (!reader.Feed(std::span<const std::byte>(block).first(static_cast<std::size_t>(got)))) return false;
    }
    return true;
  }

  // Just after the first LF from `from` on, or better after the LF before a
  // BEGIN:VCARD line within the next MiB; 0 when there is none.
  std::uint64_t CutNear(std::uint64_t from, int& error) {
    std::string window(std::size_t{1} << 20, '\0');
    const ssize_t got = ::pread(fd_, window.data(), window.size(), static_cast<off_t>(from));
    if (got < 0) {
      error = errno;
      return 0;
    }
    const std::string_view seen(window.data(), static_cast<std::size_t>(got));
    const std::size_t card = seen.find("\nBEGIN:VCARD");
    const std::size_t lf = card != std::string_view::npos ? card : seen.find('\n');
    return lf == std::string_view::npos ? 0 : from + lf + 1;
  }

  int fd_;
  std::uint64_t size_;
};
#endif

// How a reading of the whole file in blocks ended.
enum class Reading { ToTheEnd, Declined, Failed };

// Opens the source (or takes standard input) and hands it, block by block,
// to `take`, which returns false to read no further. Says why when the file
// cannot be opened or read.
template <class Take>
Reading ReadBlocks(const NativeString& source, bool standardInput, FileSystem& files,
                   const NativeString& name, std::size_t blockSize, Take take) {
  std::optional<IoError> error;
  const auto file = standardInput ? files.OpenStandardInput(error) : files.OpenSource(source, error);
  if (!file) {
    SayUnreadable(FailedStep::OpenSource, source, error, name);
    return Reading::Failed;
  }
  std::vector<std::byte> block(blockSize);
  for (;;) {
    const std::size_t got = file->Read(block, error);
    if (error) {
      SayUnreadable(FailedStep::ReadSource, source, error, name);
      return Reading::Failed;
    }
    if (got == SourceFile::kNothingYet) continue;  // a pipe with nothing yet: read again
    if (got == 0) return Reading::ToTheEnd;
    if (!take(std::span<const std::byte>(block).first(got))) return Reading::Declined;
  }
}

ShapeRead ReadShape(const NativeString& source, FileSystem& files, const NativeString& name,
                    std::optional<CheckFacts>& facts) {
  ShapeReader reader(kLongestLine);
  std::uint64_t bytes = 0;
  const Reading read =
      ReadBlocks(source, false, files, name, kShapeBlock, [&](std::span<const std::byte> block) {
        bytes += block.size();
        return reader.Feed(block);
      });
  if (read == Reading::Failed) return ShapeRead::Failed;
  const auto shape = read == Reading::ToTheEnd ? reader.Finish() : std::nullopt;
  if (!shape) return ShapeRead::LeftToScanner;
  facts = CheckFacts{bytes, shape->cards, shape->seen};
  return ShapeRead::Done;
}

// Reads the source as a split reads it. False, after saying why, when it
// cannot be read.
bool ScanRead(const NativeString& source, bool standardInput, FileSystem& files, const NativeString& name,
              Scan& scan) {
  return ReadBlocks(source, standardInput, files, name, kReadBlock, [&](std::span<const std::byte> block) {
           scan.Feed(block);
           return true;
         }) == Reading::ToTheEnd;
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
#ifndef _WIN32
    const int fd = sizeBefore >= kPartsFrom && sizeBefore != kNoSize && &files == &SystemFiles()
                       ? ::open(source.c_str(), O_RDONLY | O_CLOEXEC)
                       : -1;
    if (fd >= 0) {
      int error = 0;
      const ShapeRead read = PartedRead(fd, sizeBefore).Read(facts, error);
      ::close(fd);
      if (read == ShapeRead::Failed) {
        SayUnreadable(FailedStep::ReadSource, source, IoError{Native(std::generic_category().message(error))},
                      name);
        return 1;
      }
    }
#endif
    if (!facts && ReadShape(source, files, name, facts) == ShapeRead::Failed) return 1;
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
