#pragma once
// A program started directly (no shell) as a script starts it, with its
// standard streams in files or a pipe (POSIX).
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmere::testing {

struct ChildStart {
  std::vector<std::string> args;      // the program first
  std::filesystem::path folder = {};  // its working folder; the test's own when empty
  // Standard input: a file opened for it, as a shell's < does; or these bytes
  // through a pipe; or, with neither, /dev/null.
  std::optional<std::filesystem::path> input = {};
  std::optional<std::string> piped = {};
  // Files for standard output and error; the test's own streams when empty.
  std::filesystem::path out = {}, err = {};
  // Standard output on this file as it is (opened to write, not emptied),
  // or closed when the path is empty; in place of `out` when given.
  std::optional<std::filesystem::path> outAsIs = {};
};

// Starts the child and, when piped, writes the bytes and closes the pipe.
// Gives -1 when the program could not be started.
pid_t StartChild(const ChildStart& start);

// Waits for the child: its exit status, or -1 when a signal ended it.
int WaitForChild(pid_t child);

}  // namespace quillmere::testing
