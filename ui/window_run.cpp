#include "window_run.h"

#include <utility>

namespace quillmere::ui {

namespace {
// A label that changes faster than this is a blur; waiting this long between
// updates leaves the window's queue free for input and painting.
constexpr ULONGLONG kProgressIntervalMs = 15;
}  // namespace

WindowRun::WindowRun(HWND window, std::wstring folder, std::wstring source)
    : window_(window), worker_([this, f = std::move(folder), s = std::move(source)] { Work(f, s); }) {}

WindowRun::~WindowRun() {
  Stop();
}

void WindowRun::Work(const std::wstring& folder, const std::wstring& source) noexcept {
  try {
    SplitCards({.source = source, .folder = folder, .trimSourceSpaces = true}, *this);
  } catch (...) {
    // The run reports what it throws itself; this is what escaped even
    // that (the report running out of memory). It still gets a message.
    failure_.step = FailedStep::Unexpected;
    failure_.saved = saved_.load(std::memory_order_relaxed);
    try {
      failure_.file = source;
      failure_.reason = L"There was not enough memory to go on.";
    } catch (...) {
      // The message box shows what could be filled in.
    }
    outcome_ = RunOutcome::Failed;
  }
  PostMessageW(window_, kRunEndedMessage, 0, 0);
}

void WindowRun::Stop() noexcept {
  RequestStop();
  Join();
}

void WindowRun::Join() noexcept {
  if (worker_.joinable()) worker_.join();
}

void WindowRun::Progress(std::uint64_t saved) {
  saved_.store(saved, std::memory_order_relaxed);
  anyProgress_.store(true, std::memory_order_release);
  if (progressPosted_.load(std::memory_order_relaxed)) return;
  const ULONGLONG now = GetTickCount64();
  if (now - lastPostTick_ < kProgressIntervalMs) return;
  if (!progressPosted_.exchange(true)) {
    lastPostTick_ = now;
    PostMessageW(window_, kRunProgressMessage, 0, 0);
  }
}

std::optional<std::uint64_t> WindowRun::TakeProgress() noexcept {
  progressPosted_.store(false);
  return LastProgress();
}

std::optional<std::uint64_t> WindowRun::LastProgress() const noexcept {
  if (!anyProgress_.load(std::memory_order_acquire)) return std::nullopt;
  return saved_.load(std::memory_order_relaxed);
}

bool WindowRun::KeepGoing() {
  return !stop_.load(std::memory_order_relaxed);
}

void WindowRun::Finished(const RunSummary& summary) {
  summary_ = summary;
  outcome_ = RunOutcome::Finished;
}

void WindowRun::Failed(const RunFailure& failure) {
  failure_ = failure;
  outcome_ = RunOutcome::Failed;
}

void WindowRun::Stopped() {
  outcome_ = RunOutcome::Stopped;
}

}  // namespace quillmere::ui
