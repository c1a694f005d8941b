// quillmere-split [OPTION]... SOURCE DEST_DIR
//
// Splits SOURCE into DEST_DIR/vCard1.vcf, vCard2.vcf, … exactly as the
// window does, for scripts, other systems and benchmarks. Standard output
// holds only the final message (or the --check report), so a script can
// read it; progress, warnings and failures go to standard error.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "card_report.h"
#include "check.h"
#include "console.h"
#include "console_owner.h"
#include "console_stop.h"
#include "options.h"
#include "quillmere/splitter.h"
#include "quillmere_version.h"
#include "report.h"
#include "signals.h"

namespace {

using quillmere::Native;
using quillmere::NativeString;
using quillmere::cli::ConsoleOwner;
using quillmere::cli::MessageLine;
using quillmere::cli::Print;

// The exit statuses --help, the manual page and the README document.
constexpr int kAllSaved = 0;
constexpr int kFailed = 1;
constexpr int kWrongUsage = 2;
constexpr int kUnfinishedCard = 3;

int WrongUsage(const NativeString& what) {
  Print(stderr, MessageLine(what) + Native("Try 'quillmere-split --help' for more information.\n"));
  return kWrongUsage;
}

// After a run that finished: the warnings a script or a person should see.
int StatusAfterRun(const quillmere::RunSummary& summary, const NativeString& sourceName) {
  const auto& seen = summary.statistics;
  if (seen.lines > 0 && !seen.anyBeginLine) {
    Print(stderr, MessageLine(quillmere::cli::NoCardWarning(sourceName)));
  }
  if (!summary.unfinishedLastCard) return kAllSaved;
  Print(stderr, MessageLine(quillmere::cli::UnfinishedCardWarning(sourceName, seen.unfinishedCardLine)));
  return kUnfinishedCard;
}

int StatusOf(ConsoleOwner& owner, const NativeString& sourceName) {
  switch (owner.Outcome()) {
    case quillmere::RunOutcome::Finished:
      return StatusAfterRun(owner.Summary(), sourceName);
    case quillmere::RunOutcome::Stopped: {
      const int signal = quillmere::cli::StopSignal() ? quillmere::cli::StopSignal() : SIGINT;
      owner.Interrupted(signal);
      return 128 + signal;
    }
    default:
      return kFailed;
  }
}

// The destination is made ready before the source is read: one that
// exists but is no folder fails whatever the source holds, and one that does
// not exist is made (if `make`), parents and all, as mkdir -p makes it.
// Returns what is wrong, if anything.
NativeString PrepareFolder(const NativeString& folder, bool make) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (fs::is_directory(status)) return {};
  if (fs::exists(status)) {
    return Native("cannot write into ") + quillmere::cli::Quote(folder) + Native(": ") +
           Native(std::generic_category().message(ENOTDIR));
  }
  if (!make) return {};
  error.clear();
  fs::create_directories(folder, error);
  if (!error) return {};
  return Native("cannot create the folder ") + quillmere::cli::Quote(folder) + Native(": ") +
         Native(error.message());
}

int Split(const quillmere::cli::Options& options) {
  const NativeString& source = options.operands[0];
  const bool standardInput = source == Native("-");
  const NativeString sourceName = quillmere::cli::SourceName(source, standardInput);
  // A source that is not there fails as it is opened, with no folder made
  // for it first.
  std::error_code noSource;
  const bool sourceMissing = !standardInput && !std::filesystem::exists(source, noSource) && !noSource;
  if (const NativeString wrong = PrepareFolder(options.operands[1], !sourceMissing); !wrong.empty()) {
    Print(stderr, MessageLine(wrong));
    return kFailed;
  }
  quillmere::cli::StopOnSignals();
  ConsoleOwner owner(options.quiet, sourceName);
  std::optional<quillmere::cli::ConsoleRun> running(std::in_place);
  quillmere::SplitCards(
      {.source = source,
       .folder = options.operands[1],
       .trimSourceSpaces = false,
       .sourceIsStandardInput = standardInput,
       .jobs = options.jobs ? options.jobs : quillmere::DefaultJobs(),
       .naming = options.names ? quillmere::FileNaming::Contacts : quillmere::FileNaming::Numbered,
       .batches = {.cards = options.cards, .bytes = options.maxBytes},
       .messageFiles = quillmere::SystemFiles().MessageFiles()},
      owner);
  running.reset();  // unwound: a closing console may end the tool now
  return StatusOf(owner, sourceName);
}

// --check --names: each card's number and the file name a split with
// --names would give it, a tab between them, one card a line; nothing is
// written.
class NamePrinter final : public quillmere::NameList {
 public:
  void Named(std::uint64_t number, const NativeString& fileName) override {
    Print(stdout, quillmere::NativeDecimal(number) + Native("\t") + fileName + Native("\n"));
  }
};

int ListNames(const quillmere::cli::Options& options) {
  const NativeString& source = options.operands[0];
  const bool standardInput = source == Native("-");
  const NativeString sourceName = quillmere::cli::SourceName(source, standardInput);
  quillmere::cli::StopOnSignals();
  ConsoleOwner owner(true, sourceName, true);
  NamePrinter printer;
  quillmere::ListFileNames({.source = source,
                            .folder = {},
                            .trimSourceSpaces = false,
                            .sourceIsStandardInput = standardInput,
                            .naming = quillmere::FileNaming::Contacts},
                           owner, printer);
  return StatusOf(owner, sourceName);
}

int Main(const std::vector<NativeString>& args) {
  const auto parsed = quillmere::cli::ParseArguments(args);
  if (!parsed.error.empty()) return WrongUsage(parsed.error);
  const auto& options = parsed.options;
  if (options.help) {
    Print(stdout, Native(quillmere::cli::HelpText()));
    return kAllSaved;
  }
  if (options.version) {
    Print(stdout, Native("quillmere-split " QUILLMERE_VERSION_TEXT "\n"));
    return kAllSaved;
  }
  if (auto wrong = quillmere::cli::CheckOperands(options); !wrong.empty()) return WrongUsage(wrong);
  if (options.check && options.names) return ListNames(options);
  if (options.report) {
    const NativeString& source = options.operands[0];
    return quillmere::cli::RunReport(source, source == Native("-"),
                                     options.format.value_or(quillmere::cli::ReportFormat::Text));
  }
  if (options.check) {
    const NativeString& source = options.operands[0];
    return quillmere::cli::RunCheck(source, source == Native("-"));
  }
  return Split(options);
}

// What a run ends with once its work is done: a failed write to standard
// output fails the run (after its cards are whole), a stop by a signal ends
// in death by that signal.
int Finish(int status) {
  const int outputError = quillmere::cli::CloseStandardOutput();
  // A reader that went away early (| head) is no failure to speak of, as
  // for cat.
  if (outputError != 0 && outputError != EPIPE) {
    Print(stderr,
          MessageLine(Native("write error: ") + Native(std::generic_category().message(outputError))));
  }
  if (const int signal = quillmere::cli::StopSignal()) quillmere::cli::DieOf(signal);
  return outputError != 0 ? kFailed : status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  quillmere::cli::HoldClosedStandardStreams();
  return Finish(Main(std::vector<NativeString>(argv + 1, argv + argc)));
}
