#pragma once
// How a Windows console stops quillmere-split: Ctrl+C, Ctrl+Break, the
// console window closed, logoff and shutdown all stop a run the way Ctrl+C
// does, leaving only whole cards. Elsewhere these do nothing; signals serve
// there.
namespace quillmere::cli {

// From now on every console event calls `stop` (on a thread the system
// starts for it) and counts as handled, so the C runtime's own SIGINT
// handling, which forgets its handler after the first Ctrl+C, is never
// reached.
void StopOnConsoleEvents(void (*stop)());

// A run that a closing console must wait for. While one exists, the close,
// logoff and shutdown events hold the system back (it ends the process as
// soon as the handler returns) until the run has unwound: its last card
// finished, its temporary file gone. They wait at most a little under the
// five seconds the system allows.
class ConsoleRun {
 public:
  ConsoleRun();
  ~ConsoleRun();
  ConsoleRun(const ConsoleRun&) = delete;
  ConsoleRun& operator=(const ConsoleRun&) = delete;
};

// The handler as the system calls it with a CTRL_*_EVENT code; true when
// the event was handled.
bool OnConsoleEvent(unsigned long event);

}  // namespace quillmere::cli
