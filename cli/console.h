#pragma once
#include <cstdio>

#include "quillmere/native_text.h"

namespace quillmere::cli {

// Writes native text to standard output or standard error with each CR LF
// as a plain line break. A Windows console is given the text as UTF-16, so
// that any name shows as it is; anything else (a file, a pipe, a POSIX
// terminal) gets UTF-8.
void Print(std::FILE* stream, const NativeString& text);

// Flushes standard output now (so that it comes before what follows on
// standard error), keeping a failure for CloseStandardOutput to report.
void FlushStandardOutput();

// Flushes and closes standard output. Returns the first error (an errno
// value) any write to it met, or 0: a script must learn that the message it
// reads never arrived.
int CloseStandardOutput();

// Whether the stream is a terminal or a console someone watches.
bool IsTerminal(std::FILE* stream);

}  // namespace quillmere::cli
