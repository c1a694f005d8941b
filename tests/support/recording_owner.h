#pragma once
// A run owner that keeps everything a run tells it, can act in the middle of
// a run (remove a folder, delete the source) after a chosen number of cards,
// and can stop a run after a chosen number of lines.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "quillmere/splitter.h"

namespace quillmere::testing {

class RecordingOwner final : public RunOwner {
 public:
  // Called once, at the first progress report that counts at least `cards`.
  void OnceSaved(std::uint64_t cards, std::function<void()> action) {
    actionAt_ = cards;
    action_ = std::move(action);
  }

  void Progress(std::uint64_t saved) override {
    progress.push_back(saved);
    if (action_ && saved >= actionAt_) std::exchange(action_, nullptr)();
  }
  bool KeepGoing() override {
    ++checks;
    if (stopAtCheck != 0 && checks >= stopAtCheck) return false;
    return stopAfterLines == 0 || progress.size() < stopAfterLines;
  }
  void Finished(const RunSummary& summary) override {
    finished.push_back(summary);
    ends.push_back(RunOutcome::Finished);
  }
  void Failed(const RunFailure& failure) override {
    failed.push_back(failure);
    ends.push_back(RunOutcome::Failed);
  }
  void Stopped() override { ends.push_back(RunOutcome::Stopped); }
  void CardOverLimit(std::uint64_t card, std::uint64_t bytes, std::uint64_t file) override {
    overLimit.push_back({card, bytes, file});
  }

  std::vector<std::uint64_t> progress;
  std::vector<RunSummary> finished;
  std::vector<RunFailure> failed;
  std::vector<RunOutcome> ends;                         // every Finished, Failed and Stopped, in order
  std::vector<std::array<std::uint64_t, 3>> overLimit;  // card, bytes, file
  std::size_t stopAfterLines = 0;                       // 0: never stop
  std::size_t checks = 0;                               // KeepGoing calls so far
  std::size_t stopAtCheck = 0;                          // answer no from this KeepGoing call on; 0: never

  // The one outcome of a run that ended; empty if it did not end that way.
  RunSummary Summary() const { return finished.empty() ? RunSummary{} : finished.front(); }
  RunFailure Failure() const { return failed.empty() ? RunFailure{} : failed.front(); }
  // How the run ended: NotStarted if the owner heard no end. A run that
  // ends twice is a fault of the run, reported by throwing.
  RunOutcome Outcome() const {
    if (ends.size() > 1) throw std::logic_error("the run told its owner more than one end");
    return ends.empty() ? RunOutcome::NotStarted : ends.front();
  }

 private:
  std::uint64_t actionAt_ = 0;
  std::function<void()> action_;
};

// A split or a listing of names, and the one way the owner heard it end.
inline RunOutcome RecordedSplit(const SplitRequest& request, RecordingOwner& owner,
                                FileSystem& files = SystemFiles()) {
  SplitCards(request, owner, files);
  return owner.Outcome();
}
inline RunOutcome RecordedList(const SplitRequest& request, RecordingOwner& owner, NameList& list,
                               FileSystem& files = SystemFiles()) {
  ListFileNames(request, owner, list, files);
  return owner.Outcome();
}

}  // namespace quillmere::testing
