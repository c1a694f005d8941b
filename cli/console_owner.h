#pragma once
#include <chrono>
#include <cstdint>

#include "quillmere/run.h"

namespace quillmere::cli {

// Reports a run on the terminal: a progress line on standard error that is
// rewritten in place, then the final message on standard output.
class ConsoleOwner final : public RunOwner {
 public:
  // listing: the run only lists names (--check --names) and saves nothing.
  ConsoleOwner(bool quiet, NativeString sourceName, bool listing = false);

  void Progress(std::uint64_t saved) override;
  // False once a signal asked for a stop.
  bool KeepGoing() override;
  void Finished(const RunSummary& summary) override;
  void Failed(const RunFailure& failure) override;
  // The signal's line comes once the tool has unwound (Interrupted).
  void Stopped() override { outcome_ = RunOutcome::Stopped; }
  void CardOverLimit(std::uint64_t card, std::uint64_t bytes, std::uint64_t file) override;

  // One line for a run stopped by a signal: which, and what was saved (or,
  // for a check, listed).
  void Interrupted(int signal);

  const RunSummary& Summary() const { return summary_; }
  RunOutcome Outcome() const { return outcome_; }

 private:
  void Show(std::uint64_t saved);
  void EndProgress(std::uint64_t saved);

  bool quiet_;
  bool listing_;
  bool showProgress_;
  NativeString sourceName_;
  RunSummary summary_;
  RunOutcome outcome_ = RunOutcome::NotStarted;
  std::uint64_t saved_ = 0;
  std::chrono::steady_clock::time_point nextShow_{};
};

}  // namespace quillmere::cli
