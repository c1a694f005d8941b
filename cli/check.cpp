#include "check.h"

#include <cstdio>
#include <vector>

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

int RunCheck(const NativeString& source, bool standardInput, FileSystem& files) {
  const NativeString name = SourceName(source, standardInput);
  std::optional<IoError> error;
  const auto file = standardInput ? files.OpenStandardInput(error) : files.OpenSource(source, error);
  if (!file) {
    const RunFailure failure{FailedStep::OpenSource, source, error ? error->reason : NativeString{}, 0};
    Print(stderr, MessageLine(FailureLine(failure, name, false)));
    return 1;
  }
  SourceSurvey survey;
  std::vector<std::byte> block(kReadBlock);
  for (;;) {
    const std::size_t got = file->Read(block, error);
    if (error) {
      Print(stderr,
            MessageLine(FailureLine({FailedStep::ReadSource, source, error->reason, 0}, name, false)));
      return 1;
    }
    if (got == 0) break;
    survey.Feed({block.data(), got});
  }
  const SourceFacts& facts = survey.Finish();
  Print(stdout, Native(CheckReport(facts)));
  if (facts.bytes > 0 && !facts.anyBegin) Print(stderr, MessageLine(NoCardWarning(name)));
  if (facts.unfinishedCardLine == 0) return 0;
  Print(stderr, MessageLine(UnfinishedCardWarning(name, facts.unfinishedCardLine, true)));
  return 3;
}

}  // namespace quillmere::cli
