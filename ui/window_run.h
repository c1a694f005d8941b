#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "quillmere/splitter.h"

namespace quillmere::ui {

// Messages a run posts to the window that started it.
inline constexpr UINT kRunProgressMessage = WM_APP + 1;  // a new count is waiting
inline constexpr UINT kRunEndedMessage = WM_APP + 2;     // the worker has returned

// One split on a worker thread, so the window keeps answering while it reads.
// The worker never waits for the window: it stores what the window must know
// and posts a message. The progress message is coalesced: at most one is in
// the queue, and not more often than the eye can follow, so clicks and
// repaints are never starved by a fast run.
class WindowRun final : public RunOwner {
 public:
  WindowRun(HWND window, std::wstring folder, std::wstring source);
  ~WindowRun() override;
  WindowRun(const WindowRun&) = delete;
  WindowRun& operator=(const WindowRun&) = delete;

  // Asks the run to stop after the line it is reading and waits for it.
  void Stop() noexcept;
  // Asks the same without waiting: kRunEndedMessage tells when it has.
  void RequestStop() noexcept { stop_.store(true); }

  // The count to show now, if one arrived since the last call; re-arms the
  // progress message.
  std::optional<std::uint64_t> TakeProgress() noexcept;

  // After kRunEndedMessage: waits for the worker, then tells how it ended.
  // The last count handed over, if any: the label must show it before the
  // closing message.
  void Join() noexcept;
  std::optional<std::uint64_t> LastProgress() const noexcept;
  RunOutcome Outcome() const noexcept { return outcome_; }
  const RunSummary& Summary() const noexcept { return summary_; }
  const RunFailure& Failure() const noexcept { return failure_; }

 private:
  void Progress(std::uint64_t saved) override;
  bool KeepGoing() override;
  void Finished(const RunSummary& summary) override;
  void Failed(const RunFailure& failure) override;
  void Stopped() override;
  void Work(const std::wstring& folder, const std::wstring& source) noexcept;

  HWND window_;
  std::atomic<std::uint64_t> saved_{0};
  std::atomic<bool> anyProgress_{false};
  std::atomic<bool> progressPosted_{false};
  std::atomic<bool> stop_{false};
  ULONGLONG lastPostTick_ = 0;  // the worker's own
  // Written by the worker as the run ends, read by the window only after
  // Join.
  RunOutcome outcome_ = RunOutcome::NotStarted;
  RunSummary summary_;
  RunFailure failure_{};
  std::thread worker_;  // last: starts once everything above exists
};

}  // namespace quillmere::ui
