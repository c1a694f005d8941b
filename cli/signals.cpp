#include "signals.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "console_stop.h"

namespace quillmere::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int signal) {
  interrupted = signal;
}

}  // namespace

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
  StopOnConsoleEvents([] { interrupted = SIGINT; });
}

int StopSignal() {
  return interrupted;
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

void HoldClosedStandardStreams() {
#ifndef _WIN32
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
  }
#endif
}

}  // namespace quillmere::cli
