// quillmere-split SOURCE DEST_DIR
//
// Splits SOURCE into DEST_DIR/vCard1.vcf, vCard2.vcf, … exactly as the
// window does, for scripts, other systems and benchmarks.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string_view>
#include <vector>

#include "console.h"
#include "quillmere_version.h"
#include "splitter.h"

namespace {

using quillmere::Native;
using quillmere::NativeString;
using quillmere::cli::Print;

// The signal that asked the run to stop (SIGINT, SIGTERM or SIGHUP), or 0.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int signal) {
  interrupted = signal;
}

// Ctrl+C, a kill and a closed terminal all stop the run the same way: at
// once, leaving only whole cards.
void StopOnSignals() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
#ifdef SIGHUP
  std::signal(SIGHUP, OnInterrupt);
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

constexpr char kUsage[] =
    "Usage: quillmere-split SOURCE DEST_DIR\n"
    "       quillmere-split --names SOURCE DEST_DIR\n"
    "Splits the vCard file SOURCE into one file per contact, named vCard1.vcf,\n"
    "vCard2.vcf, ... in the existing folder DEST_DIR. Files of those names are\n"
    "replaced.\n"
    "\n"
    "  --names    name each file after its contact (\"Jane Doe.vcf\"; a second\n"
    "             Jane Doe gets \"Jane Doe (2).vcf\"); a card with no name,\n"
    "             organisation, e-mail address or telephone number keeps its\n"
    "             vCardN.vcf\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 when every card was saved, 1 when a file could not be read\n"
    "or written (the message names it), 2 for wrong usage.\n";

// Reports a run on the terminal: a progress line on standard error that is
// rewritten in place, then the final message on standard output.
class ConsoleOwner final : public quillmere::RunOwner {
 public:
  ConsoleOwner() : showProgress_(quillmere::cli::IsTerminal(stderr)) {}

  void Progress(std::uint64_t saved) override {
    saved_ = saved;
    if (!showProgress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextShow_) return;
    Show(saved);
    nextShow_ = now + std::chrono::milliseconds(50);
  }

  bool KeepGoing() override { return interrupted == 0; }

  void Finished(const quillmere::RunSummary& summary) override {
    EndProgress(summary.saved);
    Print(stdout, quillmere::FinalMessage(summary) + Native("\n"));
  }

  // One line for a run stopped by a signal: which, and what was saved.
  void Interrupted(int signal) {
    EndProgress(saved_);
    Print(stderr, Native("quillmere-split: interrupted by ") + Native(SignalName(signal)) + Native("; ") +
                      quillmere::NativeDecimal(saved_) + Native(saved_ == 1 ? " vCard was" : " vCards were") +
                      Native(" saved.\n"));
  }

  void Failed(const quillmere::RunFailure& failure) override {
    EndProgress(failure.saved);
    NativeString reason = failure.reason;
    if (!reason.empty() && reason.back() != '.') reason += '.';
    Print(stderr, Native("quillmere-split: ") + quillmere::FailureHeadline(failure) + Native(": ") + reason +
                      Native(" ") + quillmere::SavedBeforeFailure(failure.saved) + Native("\n"));
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

  bool showProgress_;
  std::uint64_t saved_ = 0;
  std::chrono::steady_clock::time_point nextShow_{};
};

int Main(const std::vector<NativeString>& args) {
  std::vector<NativeString> operands;
  auto naming = quillmere::FileNaming::Numbered;
  for (const auto& arg : args) {
    if (arg == Native("--names")) {
      naming = quillmere::FileNaming::Contacts;
      continue;
    }
    if (arg == Native("--help") || arg == Native("-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == Native("--version")) {
      std::fputs("quillmere-split " QUILLMERE_VERSION_TEXT "\n", stdout);
      return 0;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != Native("--")) {
      Print(stderr, Native("quillmere-split: unknown option ") + arg + Native("\n"));
      std::fputs(kUsage, stderr);
      return 2;
    }
    if (arg != Native("--")) operands.push_back(arg);
  }
  if (operands.size() != 2 || operands[1].empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  StopOnSignals();
  ConsoleOwner owner;
  const auto outcome = quillmere::SplitCards(
      {.source = operands[0], .folder = operands[1], .trimSourceSpaces = true, .naming = naming}, owner);
  switch (outcome) {
    case quillmere::RunOutcome::Finished:
      return 0;
    case quillmere::RunOutcome::Stopped:
      owner.Interrupted(interrupted ? interrupted : SIGINT);
      return 128 + (interrupted ? interrupted : SIGINT);
    default:
      return 1;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  return Main(std::vector<NativeString>(argv + 1, argv + argc));
}
