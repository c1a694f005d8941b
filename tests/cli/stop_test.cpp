// quillmere-split stopped by a signal while its source keeps it waiting: it
// ends at once, says so in one line with the count saved, leaves only whole
// cards, and exits with 128 + the signal's number.
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
};

class SignalStop : public testing::TestWithParam<Stop> {};

TEST_P(SignalStop, EndsTheRunWithOneLineAndTheSignalsExitStatus) {
  const quillmere::testing::ScratchFolder scratch("stop");
  const fs::path dir = scratch.Path();
  fs::create_directories(dir / "out");
  const auto fifo = dir / "in.vcf";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);

  const pid_t child =
      StartChild({.args = {QUILLMERE_SPLIT, fifo.string(), (dir / "out").string()}, .err = dir / "stderr"});
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
  for (int i = 0; i < 500 && !fs::exists(dir / "out" / "vCard3.vcf"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

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
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of stopping";
  EXPECT_EQ(WEXITSTATUS(status), 128 + GetParam().signal);
  EXPECT_EQ(ReadWholeFile(dir / "stderr"),
            std::string("quillmere-split: interrupted by ") + GetParam().name + "; 3 vCards were saved.\n");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir / "out")) ++files;
  EXPECT_EQ(files, 3u) << "only the three whole cards may be left";
  EXPECT_EQ(ReadWholeFile(dir / "out" / "vCard3.vcf"), "\r\nBEGIN:VCARD\r\nFN:Person 3\r\nEND:VCARD\r\n");
}

INSTANTIATE_TEST_SUITE_P(Cli, SignalStop,
                         testing::Values(Stop{SIGINT, "SIGINT"}, Stop{SIGTERM, "SIGTERM"},
                                         Stop{SIGHUP, "SIGHUP"}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
