#include "check.h"

#include <cstdio>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "console.h"
#include "report.h"

namespace quillmere::cli {
namespace {

// As large as the splitter's own reads: fewer calls cost less than anything
// the survey does with the bytes.
constexpr std::size_t kReadBlock = std::size_t{256} << 10;

std::string Line(const char* key, const std::string& value) {
  return std::string(key) + ": " + value + "\n";
}

std::string StrayEnds(const SourceFacts& facts) {
  std::string text = std::to_string(facts.strayEnds);
  if (facts.strayEnds == 0) return text;
  text += facts.strayEnds == 1 ? " (line " : " (lines ";
  for (std::size_t i = 0; i < facts.firstStrayEndLines.size(); ++i) {
    text += (i ? ", " : "") + std::to_string(facts.firstStrayEndLines[i]);
  }
  return text + (facts.strayEnds > facts.firstStrayEndLines.size() ? ", ...)" : ")");
}

}  // namespace

std::string CheckReport(const SourceFacts& f) {
  const auto n = [](std::uint64_t value) { return std::to_string(value); };
  std::string text;
  text += Line("encoding", EncodingName(f.encoding));
  text += Line("line ends",
               "CR LF " + n(f.crLf) + ", LF " + n(f.lf) + ", CR " + n(f.cr) + ", CR CR LF " + n(f.crCrLf));
  text += Line("lines", n(f.lines));
  text += Line("cards", n(f.cards));
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

// A regular file is surveyed through a mapping of it, which is quicker than
// copying it into a buffer. False when the file cannot be mapped; it is then
// read as a split reads it, which also says why it cannot be read.
bool SurveyMapped(const NativeString& source, SourceSurvey& survey) {
#ifdef _WIN32
  (void)source;
  (void)survey;
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
  survey.Feed({static_cast<const std::byte*>(mapped), size});
  ::munmap(mapped, size);
  return true;
#endif
}

// Reads the source as a split reads it. False, after saying why, when it
// cannot be read.
bool SurveyRead(const NativeString& source, bool standardInput, FileSystem& files, const NativeString& name,
                SourceSurvey& survey) {
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
    if (got == 0) return true;
    survey.Feed({block.data(), got});
  }
}

}  // namespace

int RunCheck(const NativeString& source, bool standardInput, FileSystem& files) {
  const NativeString name = SourceName(source, standardInput);
  SourceSurvey survey;
  const bool mapped = !standardInput && &files == &SystemFiles() && SurveyMapped(source, survey);
  if (!mapped && !SurveyRead(source, standardInput, files, name, survey)) return 1;
  const SourceFacts& facts = survey.Finish();
  Print(stdout, Native(CheckReport(facts)));
  if (facts.bytes > 0 && !facts.anyBegin) Print(stderr, MessageLine(NoCardWarning(name)));
  if (facts.unfinishedCardLine == 0) return 0;
  Print(stderr, MessageLine(UnfinishedCardWarning(name, facts.unfinishedCardLine, true)));
  return 3;
}

}  // namespace quillmere::cli
