// quillmere-split stopped by a signal while its source keeps it waiting: it
// ends at once, says so in one line with the count saved, leaves only whole
// cards, and then dies of that signal, as the GNU tools do, so that a shell
// loop stops too. A signal ignored when it started stays ignored.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "scratch_folder.h"
#include "whole_files.h"

namespace {

namespace fs = std::filesystem;
using quillmere::testing::ReadWholeFile;
using quillmere::testing::StartChild;

std::string Cards(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i)
    text += "BEGIN:VCARD\r\nFN:Person " + std::to_string(i) + "\r\nEND:VCARD\r\n";
  return text;
}

struct Stop {
  int signal;
  const char* name;
  int ignoredAtStart = 0;  // sent first, and must change nothing
  bool check = false;      // --check --names, which lists and saves nothing
};

class SignalStop : public testing::TestWithParam<Stop> {};

TEST_P(SignalStop, EndsTheRunWithOneLineAndTheSignalsExitStatus) {
  const quillmere::testing::ScratchFolder scratch("stop");
  const fs::path dir = scratch.Path();
  fs::create_directories(dir / "out");
  const auto fifo = dir / "in.vcf";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);

  std::vector<std::string> args{QUILLMERE_SPLIT};
  if (GetParam().check) args.insert(args.end(), {"--check", "--names"});
  args.push_back(fifo.string());
  if (!GetParam().check) args.push_back((dir / "out").string());
  // An ignored signal is handed on to the child, as nohup does.
  const int ignored = GetParam().ignoredAtStart;
  if (ignored) ::signal(ignored, SIG_IGN);
  const pid_t child = StartChild({.args = args, .err = dir / "stderr"});
  if (ignored) ::signal(ignored, SIG_DFL);
  ASSERT_GT(child, 0);

  // Three cards, then a writer that stays silent: the tool waits in its read.
  int writer = -1;
  for (int i = 0; i < 500 && writer < 0; ++i) {
    writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GE(writer, 0) << "the tool never opened its source";
  const std::string cards = Cards(3);
  ASSERT_EQ(::write(writer, cards.data(), cards.size()), static_cast<ssize_t>(cards.size()));
  for (int i = 0; i < 500 && !GetParam().check && !fs::exists(dir / "out" / "vCard3.vcf"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // A check shows nothing while it runs (its list is buffered): it is given
  // time to read the three cards.
  std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().check ? 500 : 50));

  if (ignored) {
    ::kill(child, ignored);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(::waitpid(child, nullptr, WNOHANG), 0) << "stopped by a signal ignored at its start";
  }
  ::kill(child, GetParam().signal);
  int status = 0;
  pid_t ended = 0;
  // A generous bound, so that a tool that ignores the signal fails the test
  // instead of hanging it.
  for (int i = 0; i < 1000 && ended == 0; ++i) {
    ended = ::waitpid(child, &status, WNOHANG);
    if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::close(writer);
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "the tool did not stop on " << GetParam().name;
  }
  ASSERT_TRUE(WIFSIGNALED(status)) << "exited instead of dying of the signal, so a shell loop would go on";
  EXPECT_EQ(WTERMSIG(status), GetParam().signal);
  EXPECT_EQ(ReadWholeFile(dir / "stderr"),
            std::string("quillmere-split: interrupted by ") + GetParam().name +
                (GetParam().check ? "; 3 vCards were listed.\n" : "; 3 vCards were saved.\n"));
  if (GetParam().check) {
    EXPECT_TRUE(fs::is_empty(dir / "out")) << "a check wrote files";
    return;
  }
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir / "out")) ++files;
  EXPECT_EQ(files, 3u) << "only the three whole cards may be left";
  EXPECT_EQ(ReadWholeFile(dir / "out" / "vCard3.vcf"), "\r\nBEGIN:VCARD\r\nFN:Person 3\r\nEND:VCARD\r\n");
}

INSTANTIATE_TEST_SUITE_P(Cli, SignalStop,
                         testing::Values(Stop{SIGINT, "SIGINT"}, Stop{SIGTERM, "SIGTERM"},
                                         Stop{SIGHUP, "SIGHUP"}, Stop{SIGTERM, "SIGTERM", SIGHUP},
                                         Stop{SIGTERM, "SIGTERM", SIGINT}, Stop{SIGINT, "SIGINT", 0, true}),
                         [](const auto& param) {
                           std::string name = param.param.name;
                           if (param.param.ignoredAtStart == SIGHUP) name += "AfterIgnoredSIGHUP";
                           if (param.param.ignoredAtStart == SIGINT) name += "AfterIgnoredSIGINT";
                           return name + (param.param.check ? "DuringCheck" : "");
                         });

}  // namespace
