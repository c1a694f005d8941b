#include "console_owner.h"

#include <cstdio>

#include "console.h"
#include "quillmere/messages.h"
#include "report.h"
#include "signals.h"

namespace quillmere::cli {

ConsoleOwner::ConsoleOwner(bool quiet, NativeString sourceName, bool listing)
    : quiet_(quiet),
      listing_(listing),
      showProgress_(!quiet && IsTerminal(stderr)),
      sourceName_(std::move(sourceName)) {}

void ConsoleOwner::Progress(std::uint64_t saved) {
  saved_ = saved;
  if (!showProgress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < nextShow_) return;
  Show(saved);
  nextShow_ = now + std::chrono::milliseconds(50);
}

bool ConsoleOwner::KeepGoing() {
  return StopSignal() == 0;
}

void ConsoleOwner::Finished(const RunSummary& summary) {
  summary_ = summary;
  outcome_ = RunOutcome::Finished;
  EndProgress(summary.saved);
  if (quiet_) return;
  // The note about an unfinished card is a warning, which goes to standard
  // error with the line it begins on.
  RunSummary shown = summary;
  shown.unfinishedLastCard = false;
  // The window's text has a space before its line break; a line of a
  // script's output does not end in one.
  NativeString message = FinalMessage(shown);
  if (const auto at = message.find(Native(" \r\n")); at != NativeString::npos) message.erase(at, 1);
  Print(stdout, message + Native("\n"));
}

void ConsoleOwner::Interrupted(int signal) {
  EndProgress(saved_);
  const char* done = listing_ ? " listed." : " saved.";
  Print(stderr, MessageLine(Native("interrupted by ") + Native(SignalName(signal)) + Native("; ") +
                            NativeDecimal(saved_) + Native(saved_ == 1 ? " vCard was" : " vCards were") +
                            Native(done)));
}

void ConsoleOwner::Failed(const RunFailure& failure) {
  outcome_ = RunOutcome::Failed;
  EndProgress(failure.saved);
  Print(stderr, MessageLine(FailureLine(failure, sourceName_)));
}

void ConsoleOwner::CardOverLimit(std::uint64_t card, std::uint64_t bytes, std::uint64_t file) {
  Print(stderr, MessageLine(OverLimitWarning(card, bytes, file)));
}

void ConsoleOwner::Show(std::uint64_t saved) {
  Print(stderr, Native("\r") + ProgressText(saved));
  std::fflush(stderr);
}

void ConsoleOwner::EndProgress(std::uint64_t saved) {
  if (!showProgress_) return;
  Show(saved);
  std::fputc('\n', stderr);
}

}  // namespace quillmere::cli
