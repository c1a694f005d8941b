#pragma once
// How signals stop quillmere-split: SIGINT, SIGTERM and SIGHUP (and a
// Windows console's events) ask a run to stop at once, leaving only whole
// cards; once it has unwound and said so, the tool dies of the same signal.
namespace quillmere::cli {

// From now on those signals ask for a stop; one that was ignored when the
// program started (nohup, a background job of a shell) stays ignored, as
// the GNU tools leave it.
void StopOnSignals();

// The signal that asked for a stop, or 0.
int StopSignal();

// "SIGINT", "SIGTERM", "SIGHUP" or "a signal".
const char* SignalName(int signal);

// Dies of `signal`, so that the shell loop or make that started the tool
// learns it was interrupted. Windows has no such death: it returns, and the
// status 128 + N stays.
void DieOf(int signal);

// A standard stream the caller closed (">&-") is opened on /dev/null the
// wrong way round, so that nothing the run opens can take its number and
// receive messages, and a message written to it fails as it should.
void HoldClosedStandardStreams();

}  // namespace quillmere::cli
