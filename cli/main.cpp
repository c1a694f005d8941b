// quillmere-split [OPTION]... SOURCE DEST_DIR
//
// Splits SOURCE into DEST_DIR/vCard1.vcf, vCard2.vcf, … exactly as the
// window does, for scripts, other systems and benchmarks. Standard output
// holds only the final message (or the --check report), so a script can
// read it; progress, warnings and failures go to standard error.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "card_report.h"
#include "check.h"
#include "console.h"
#include "console_stop.h"
#include "options.h"
#include "quillmere/messages.h"
#include "quillmere/splitter.h"
#include "quillmere_version.h"
#include "report.h"

namespace {

using quillmere::Native;
using quillmere::NativeString;
using quillmere::cli::MessageLine;
using quillmere::cli::Print;

// The exit statuses --help, the manual page and the README document.
constexpr int kAllSaved = 0;
constexpr int kFailed = 1;
constexpr int kWrongUsage = 2;
constexpr int kUnfinishedCard = 3;

// The signal that asked the run to stop (SIGINT, SIGTERM or SIGHUP), or 0.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int signal) {
  interrupted = signal;
}

// Ctrl+C, a kill and a closed terminal all stop the run the same way: at
// once, leaving only whole cards. A signal that was ignored when the program
// started (nohup, a background job of a shell) stays ignored, as the GNU
// tools leave it.
void StopOnSignals() {
#ifdef _WIN32
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
#else
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
#endif
  // A Windows console's other events (Ctrl+Break, its window closed, logoff,
  // shutdown) would otherwise end the tool mid-card; they stop it as Ctrl+C.
  quillmere::cli::StopOnConsoleEvents([] { interrupted = SIGINT; });
}

// Once a stop has left only whole cards and said so, the program dies of
// the signal that asked for it, so that the shell loop or make that started
// it learns it was interrupted and stops too, rather than going on to the
// next file. Windows has no such death: the status 128 + N stays.
void DieOf(int signal) {
#ifndef _WIN32
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signal);
#else
  (void)signal;
#endif
}

// A standard stream the caller closed (">&-") is opened on /dev/null the
// wrong way round, so that nothing the run opens can take its number and
// receive messages, and a message written to it fails as it should.
void HoldClosedStandardStreams() {
#ifndef _WIN32
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
  }
#endif
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#ifdef SIGHUP
    case SIGHUP:
      return "SIGHUP";
#endif
    default:
      return "a signal";
  }
}

// Reports a run on the terminal: a progress line on standard error that is
// rewritten in place, then the final message on standard output.
class ConsoleOwner final : public quillmere::RunOwner {
 public:
  // listing: the run only lists names (--check --names) and saves nothing.
  ConsoleOwner(bool quiet, NativeString sourceName, bool listing = false)
      : quiet_(quiet),
        listing_(listing),
        showProgress_(!quiet && quillmere::cli::IsTerminal(stderr)),
        sourceName_(sourceName) {}

  void Progress(std::uint64_t saved) override {
    saved_ = saved;
    if (!showProgress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextShow_) return;
    Show(saved);
    nextShow_ = now + std::chrono::milliseconds(50);
  }

  bool KeepGoing() override { return interrupted == 0; }

  const quillmere::RunSummary& Summary() const { return summary_; }
  quillmere::RunOutcome Outcome() const { return outcome_; }

  void Finished(const quillmere::RunSummary& summary) override {
    summary_ = summary;
    outcome_ = quillmere::RunOutcome::Finished;
    EndProgress(summary.saved);
    if (quiet_) return;
    // The note about an unfinished card is a warning, which goes to
    // standard error with the line it begins on.
    quillmere::RunSummary shown = summary;
    shown.unfinishedLastCard = false;
    // The window's text has a space before its line break; a line of a
    // script's output does not end in one.
    NativeString message = quillmere::FinalMessage(shown);
    if (const auto at = message.find(Native(" \r\n")); at != NativeString::npos) message.erase(at, 1);
    Print(stdout, message + Native("\n"));
  }

  // One line for a run stopped by a signal: which, and what was saved (or,
  // for a check, listed).
  void Interrupted(int signal) {
    EndProgress(saved_);
    const char* done = listing_ ? " listed." : " saved.";
    Print(stderr, MessageLine(Native("interrupted by ") + Native(SignalName(signal)) + Native("; ") +
                              quillmere::NativeDecimal(saved_) +
                              Native(saved_ == 1 ? " vCard was" : " vCards were") + Native(done)));
  }

  void Failed(const quillmere::RunFailure& failure) override {
    outcome_ = quillmere::RunOutcome::Failed;
    EndProgress(failure.saved);
    Print(stderr, MessageLine(quillmere::cli::FailureLine(failure, sourceName_)));
  }

  // The signal's line comes once the tool has unwound (Interrupted).
  void Stopped() override { outcome_ = quillmere::RunOutcome::Stopped; }

  void CardOverLimit(std::uint64_t card, std::uint64_t bytes, std::uint64_t file) override {
    Print(stderr, MessageLine(quillmere::cli::OverLimitWarning(card, bytes, file)));
  }

 private:
  void Show(std::uint64_t saved) {
    Print(stderr, Native("\r") + quillmere::ProgressText(saved));
    std::fflush(stderr);
  }

  void EndProgress(std::uint64_t saved) {
    if (!showProgress_) return;
    Show(saved);
    std::fputc('\n', stderr);
  }

  bool quiet_;
  bool listing_;
  bool showProgress_;
  NativeString sourceName_;
  quillmere::RunSummary summary_;
  quillmere::RunOutcome outcome_ = quillmere::RunOutcome::NotStarted;
  std::uint64_t saved_ = 0;
  std::chrono::steady_clock::time_point nextShow_{};
};

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
      const int signal = interrupted ? interrupted : SIGINT;
      owner.Interrupted(signal);
      return 128 + signal;
    }
    default:
      return kFailed;
  }
}

// The destination is made ready before the source is read: one that
// exists but is no folder fails whatever the source holds, and one that does
// not exist is made, parents and all, as mkdir -p makes it. Returns what is
// wrong, if anything.
NativeString PrepareFolder(const NativeString& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (fs::is_directory(status)) return {};
  if (fs::exists(status)) {
    return Native("cannot write into ") + quillmere::cli::Quote(folder) + Native(": ") +
           Native(std::generic_category().message(ENOTDIR));
  }
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
  if (const NativeString wrong = PrepareFolder(options.operands[1]); !wrong.empty()) {
    Print(stderr, MessageLine(wrong));
    return kFailed;
  }
  StopOnSignals();
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
  StopOnSignals();
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
  if (interrupted) DieOf(interrupted);
  return outputError != 0 ? kFailed : status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  HoldClosedStandardStreams();
  return Finish(Main(std::vector<NativeString>(argv + 1, argv + argc)));
}
