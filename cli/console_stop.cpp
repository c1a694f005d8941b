#include "console_stop.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

namespace quillmere::cli {
namespace {

// The system ends a console process 5 s after a close, logoff or shutdown
// event reaches it, whatever the handler does; returning first lets the
// process end cleanly rather than be cut off.
constexpr DWORD kUnwindWaitMs = 4500;

std::atomic<void (*)()> stopRun{nullptr};

// Set while no run is in progress. Made before any handler can run.
HANDLE RunUnwound() {
  static const HANDLE unwound = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  return unwound;
}

BOOL WINAPI ConsoleHandler(DWORD event) {
  return OnConsoleEvent(event) ? TRUE : FALSE;
}

}  // namespace

void StopOnConsoleEvents(void (*stop)()) {
  RunUnwound();
  stopRun.store(stop);
  // Handlers are called newest first: this one comes before the C
  // runtime's, which signal(SIGINT) installed.
  SetConsoleCtrlHandler(ConsoleHandler, TRUE);
}

ConsoleRun::ConsoleRun() {
  ResetEvent(RunUnwound());
}

ConsoleRun::~ConsoleRun() {
  SetEvent(RunUnwound());
}

bool OnConsoleEvent(unsigned long event) {
  if (const auto stop = stopRun.load()) stop();
  switch (event) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      WaitForSingleObject(RunUnwound(), kUnwindWaitMs);
      break;
    default:
      break;  // the tool goes on to report the stop itself
  }
  return true;
}

}  // namespace quillmere::cli

#else

namespace quillmere::cli {

void StopOnConsoleEvents(void (*)()) {}
ConsoleRun::ConsoleRun() = default;
ConsoleRun::~ConsoleRun() = default;
bool OnConsoleEvent(unsigned long) {
  return false;
}

}  // namespace quillmere::cli

#endif
