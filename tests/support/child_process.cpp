#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillmere::testing {

pid_t StartChild(const ChildStart& start) {
  std::vector<std::string> args = start.args;
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int pipeEnds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!start.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, start.folder.c_str());
  if (start.piped && ::pipe(pipeEnds) == 0) {
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  } else {
    const auto in =
        start.input ? std::filesystem::absolute(*start.input) : std::filesystem::path("/dev/null");
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  }
  if (start.outAsIs && start.outAsIs->empty()) {
    posix_spawn_file_actions_addclose(&actions, 1);
  } else if (start.outAsIs) {
    posix_spawn_file_actions_addopen(&actions, 1, start.outAsIs->c_str(), O_WRONLY, 0);
  } else if (!start.out.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, start.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (!start.err.empty())
    posix_spawn_file_actions_addopen(&actions, 2, start.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = -1;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) child = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[0] >= 0) {
    ::close(pipeEnds[0]);
    for (std::size_t written = 0; child > 0 && written < start.piped->size();) {
      const ssize_t n = ::write(pipeEnds[1], start.piped->data() + written, start.piped->size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    ::close(pipeEnds[1]);
  }
  return child;
}

int WaitForChild(pid_t child) {
  int raw = 0;
  if (child <= 0 || ::waitpid(child, &raw, 0) != child) return -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace quillmere::testing
