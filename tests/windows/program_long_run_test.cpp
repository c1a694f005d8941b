// A long run of the shipped program, watched from another process: the
// window must stay responsive, count visibly, refuse a second split, and end
// at once on Alt+X without leaving a file that holds part of a card.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "program_steps.h"

namespace quillmere::testing {
namespace {

constexpr std::uint64_t kCards = 50000;
// How long the window is watched once the run has saved its first card.
// Ten label updates a second make about twenty distinct counts in that time;
// the samples come every 30 ms or so and miss few of them.
constexpr auto kWatchTime = std::chrono::seconds(2);
constexpr std::size_t kLeastCountsSeen = 15;

// What the test saw of the window while the run went on.
struct Watch {
  std::vector<std::uint64_t> counts;  // every distinct count the label showed
  int pings = 0;
  int unanswered = 0;
  Clock::duration slowestAnswer{};
  int splitEnabledSamples = 0;
  bool endedBeforeAltX = false;
};

// Samples the window for kWatchTime from the first count above 0 (the run
// is certainly under way by then).
Watch WatchRun(const RemoteProgram& program, const Form1Controls& form) {
  Watch watch;
  const auto limit = Clock::now() + 120s;
  Clock::time_point firstCount{};
  while (Clock::now() < limit) {
    const auto asked = Clock::now();
    const bool answered = Answers(form.window, 100ms);
    const auto took = Clock::now() - asked;
    const auto count = CountIn(TextOf(form.LblProgessCurrent, 100ms).value_or(L""));
    if (count && *count > 0) {
      if (watch.counts.empty()) firstCount = Clock::now();
      ++watch.pings;
      if (!answered) ++watch.unanswered;
      watch.slowestAnswer = std::max(watch.slowestAnswer, took);
      if (::IsWindowEnabled(form.CmdSplit)) ++watch.splitEnabledSamples;
      if (watch.counts.empty() || watch.counts.back() != *count) watch.counts.push_back(*count);
    }
    if (program.WaitForMessageBox(0ms)) {
      watch.endedBeforeAltX = true;
      break;
    }
    if (!watch.counts.empty() && Clock::now() - firstCount >= kWatchTime) break;
    ::Sleep(25);
  }
  return watch;
}

// Catches: a run on the window's own thread (no answer within 100 ms), a
// label that only shows the end, "Split vCards" usable during a run, and
// Alt+X that does not reach or does not end the program during a run. (What
// a stop leaves is the stop tests' business: the core's at every point, the
// shipped program's at random moments.)
TEST(ShippedProgramLongRun, StaysResponsiveCountsAndAltXEndsTheRun) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  ScratchFolder scratch(L"long");
  const auto source = scratch.Path() / L"many.vcf";
  const auto output = scratch.Path() / L"cards";
  fs::create_directory(output);
  WriteWholeFile(source, Cards(kCards));

  RemoteProgram program(WindowsPath(QUILLMERE_PROGRAM));
  const Form1Controls form = FindForm1(program);
  ChooseSource(program, form, source.wstring());
  StartSplit(program, form, output.wstring());

  const Watch watch = WatchRun(program, form);
  ASSERT_FALSE(watch.endedBeforeAltX) << "the run ended before it could be stopped";
  ASSERT_GE(watch.counts.size(), kLeastCountsSeen)
      << "the progress label changed fewer than ten times a second during the run";
  EXPECT_TRUE(std::is_sorted(watch.counts.begin(), watch.counts.end()));
  EXPECT_EQ(watch.unanswered, 0) << "of " << watch.pings << " WM_NULL within 100 ms";
  EXPECT_LT(watch.slowestAnswer, 100ms);
  EXPECT_EQ(watch.splitEnabledSamples, 0) << "\"Split vCards\" was enabled during the run";

  std::printf("watched: %zu counts up to %llu, %d pings, slowest %lld ms\n", watch.counts.size(),
              static_cast<unsigned long long>(watch.counts.back()), watch.pings,
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(watch.slowestAnswer).count()));

  PressAltKey(form.window, L'x');
  ASSERT_TRUE(program.WaitForExit(5s)) << "Alt+X did not end the program during a run";

  const std::uint64_t files = FileNames(output).size();
  EXPECT_GE(files, watch.counts.back()) << "cards counted in the window are missing";
  EXPECT_LT(files, kCards) << "the run went on to the end after Alt+X";
  std::printf("after Alt+X: %llu cards\n", static_cast<unsigned long long>(files));
}

}  // namespace
}  // namespace quillmere::testing
