#pragma once
// A run owner that keeps everything a run tells it, and can act in the middle
// of a run (remove a folder, delete the source) after a chosen number of cards.
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "splitter.h"

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
  bool KeepGoing() override { return true; }
  void Finished(const RunSummary& summary) override { finished.push_back(summary); }
  void Failed(const RunFailure& failure) override { failed.push_back(failure); }

  std::vector<std::uint64_t> progress;
  std::vector<RunSummary> finished;
  std::vector<RunFailure> failed;

 private:
  std::uint64_t actionAt_ = 0;
  std::function<void()> action_;
};

}  // namespace quillmere::testing
