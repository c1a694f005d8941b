// Failures of the real file system, natively and (built for Windows) under
// Wine: a read-only destination, a destination removed or a source deleted
// during a run, a disk that fills up, and the source picked inside the
// destination under an output file's name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <string>

#include "card_model.h"
#include "memory_files.h"
#include "recording_owner.h"
#include "sample_sources.h"
#include "splitter.h"

namespace quillmere::testing {
namespace {

namespace fs = std::filesystem;

// A folder from the environment; under Wine a Unix path is reached via Z:.
std::optional<fs::path> FolderFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  std::string text = value;
#ifdef _WIN32
  if (text.front() == '/') text = "Z:" + text;
#endif
  return fs::path(text);
}

// A fresh folder of the test's own, removed afterwards.
class Scratch {
 public:
  Scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto base = FolderFromEnvironment("QUILLMERE_FAULTS_DIR").value_or(fs::temp_directory_path());
    std::string name = std::string("faults-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name) c = c == '/' ? '_' : c;
    path_ = base / "scratch" / name;
    RemoveAll(path_);
    fs::create_directories(path_);
  }
  ~Scratch() { RemoveAll(path_); }
  const fs::path& Path() const { return path_; }

  static void RemoveAll(const fs::path& path) {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(path, ignored))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
  }

 private:
  fs::path path_;
};

RunOutcome Split(const fs::path& folder, const fs::path& source, RecordingOwner& owner) {
  return SplitCards({.source = source.native(), .folder = folder.native()}, owner);
}

// Names of the files in a folder; an absent folder has none.
std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    names.insert(Printable(entry.path().filename()));
  return names;
}

// The folder holds vCard1.vcf to vCard<saved>.vcf, each exactly the card
// the model says, and nothing else but the names in `others`.
void ExpectCompleteCards(const fs::path& folder, const model::Expected& expected, std::uint64_t saved,
                         std::set<std::string> others = {}) {
  auto names = FileNames(folder);
  for (const auto& other : others) names.erase(other);
  EXPECT_EQ(names.size(), saved) << "the folder holds other files than the cards counted";
  for (std::uint64_t n = 1; n <= saved && n <= expected.cards.size(); ++n) {
    const auto name = "vCard" + std::to_string(n) + ".vcf";
    ASSERT_TRUE(names.contains(name)) << name << " is missing";
    EXPECT_TRUE(ReadWholeFile(folder / name) == expected.cards[static_cast<std::size_t>(n - 1)])
        << name << " is not the whole card";
  }
}

void ExpectFailure(const RecordingOwner& owner, RunOutcome outcome, std::set<FailedStep> steps) {
  ASSERT_EQ(outcome, RunOutcome::Failed);
  ASSERT_EQ(owner.failed.size(), 1u);
  EXPECT_TRUE(owner.finished.empty());
  const auto& failure = owner.failed.front();
  EXPECT_TRUE(steps.contains(failure.step)) << "failed at step " << static_cast<int>(failure.step);
  EXPECT_FALSE(failure.reason.empty()) << "no reason given for " << Printable(failure.file);
  std::cout << "reported: " << Printable(failure.file) << ": " << Printable(failure.reason) << " (saved "
            << failure.saved << ")\n";
}

fs::path OutputName(std::uint64_t n) {
  return "vCard" + std::to_string(n) + ".vcf";
}

// A folder nobody may write to: the read-only disk where one is mounted,
// else a folder without write permission (which does not stop root).
std::optional<fs::path> ReadOnlyFolder(const Scratch& scratch) {
  if (auto faults = FolderFromEnvironment("QUILLMERE_FAULTS_DIR"))
    if (fs::exists(*faults / "disks" / "readonly.mounted")) return *faults / "disks" / "readonly";
  const auto folder = scratch.Path() / "locked";
  fs::create_directories(folder);
  fs::permissions(
      folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::others_read);
  std::error_code error;
  const auto probe = folder / "probe";
  {
    std::ofstream out(probe);
    if (!out) return folder;
  }
  fs::remove(probe, error);
  return std::nullopt;
}

TEST(RealFiles, ReadOnlyDestinationFailsAtTheFirstFile) {
  Scratch scratch;
  const auto folder = ReadOnlyFolder(scratch);
  if (!folder)
    GTEST_SKIP() << "no read-only folder: mounting a read-only tmpfs needs root (the test "
                    "runs it through small_disks.sh) and permissions do not stop root";
  const auto source = scratch.Path() / "contacts.vcf";
  WriteWholeFile(source, PlainCards(3));
  RecordingOwner owner;
  const auto outcome = Split(*folder, source, owner);
  ExpectFailure(owner, outcome, {FailedStep::CreateOutput});
  if (HasFatalFailure()) return;
  EXPECT_EQ(owner.failed.front().saved, 0u);
  EXPECT_EQ(owner.failed.front().file.filename(), OutputName(1));
  EXPECT_TRUE(FileNames(*folder).empty());
}

TEST(RealFiles, DestinationRemovedDuringARunStopsIt) {
  Scratch scratch;
  const auto folder = scratch.Path() / "out";
  fs::create_directories(folder);
  const auto source = scratch.Path() / "contacts.vcf";
  const std::string text = PlainCards(20);
  WriteWholeFile(source, text);
  RecordingOwner owner;
  owner.OnceSaved(5, [&] {
    std::error_code error;
    fs::remove_all(folder, error);
    ASSERT_FALSE(error) << "could not remove the folder: " << error.message();
  });
  const auto outcome = Split(folder, source, owner);
  ExpectFailure(owner, outcome, {FailedStep::CreateOutput, FailedStep::WriteOutput});
  if (HasFatalFailure()) return;
  const auto& failure = owner.failed.front();
  EXPECT_EQ(failure.saved, 5u);
  EXPECT_EQ(failure.file.filename(), OutputName(6));
  EXPECT_FALSE(fs::exists(folder)) << "the run made the removed folder again";
  EXPECT_EQ(ReadWholeFile(source), text);
}

// On Linux the open source reads on after it is unlinked. On Windows a file
// open for reading can only be deleted if it was opened with delete sharing;
// either way the run must end with whole cards only.
TEST(RealFiles, SourceDeletedDuringARunEndsWithWholeCards) {
  Scratch scratch;
  const auto folder = scratch.Path() / "out";
  fs::create_directories(folder);
  const auto source = scratch.Path() / "contacts.vcf";
  // Several megabytes, so the source is read in many blocks.
  const std::string text = PlainCards(600, "\r\n", 1500);
  WriteWholeFile(source, text);
  const auto expected = model::SplitWholeFile(text);
  RecordingOwner owner;
  std::error_code removal;
  bool tried = false;
  owner.OnceSaved(10, [&] {
    tried = true;
    fs::remove(source, removal);
  });
  const auto outcome = Split(folder, source, owner);
  ASSERT_TRUE(tried);
  std::cout << "deleting the open source: "
            << (removal ? "refused: " + removal.message() : std::string("done")) << "; the run "
            << (outcome == RunOutcome::Finished ? "finished" : "failed") << '\n';
#ifndef _WIN32
  EXPECT_FALSE(removal) << "Linux unlinks an open file";
#endif
  if (outcome == RunOutcome::Finished) {
    ASSERT_EQ(owner.finished.size(), 1u);
    EXPECT_EQ(owner.finished.front().saved, expected.cards.size());
    ExpectCompleteCards(folder, expected, expected.cards.size());
  } else {
    ExpectFailure(owner, outcome, {FailedStep::ReadSource});
    if (HasFatalFailure()) return;
    ExpectCompleteCards(folder, expected, owner.failed.front().saved);
  }
  if (removal) {
    EXPECT_EQ(ReadWholeFile(source), text);
  }
}

TEST(RealFiles, FullDiskLeavesNoPartOfACard) {
  const auto faults = FolderFromEnvironment("QUILLMERE_FAULTS_DIR");
  if (!faults || !fs::exists(*faults / "disks" / "full.mounted"))
    GTEST_SKIP() << "no small disk mounted: mounting a 256 KiB tmpfs needs root (ctest does it "
                    "through tests/faults/small_disks.sh)";
  Scratch scratch;
  const auto folder = *faults / "disks" / "full" / "out";
  Scratch::RemoveAll(folder);
  fs::create_directories(folder);
  const auto source = scratch.Path() / "contacts.vcf";
  // Cards of about 10 KB: the disk fills part-way through one of them.
  const std::string text = PlainCards(60, "\r\n", 10000);
  WriteWholeFile(source, text);
  RecordingOwner owner;
  const auto outcome = Split(folder, source, owner);
  ExpectFailure(owner, outcome, {FailedStep::CreateOutput, FailedStep::WriteOutput});
  if (!HasFatalFailure()) {
    const auto saved = owner.failed.front().saved;
    EXPECT_GT(saved, 0u);
    EXPECT_LT(saved, 60u);
    EXPECT_EQ(owner.failed.front().file.filename(), OutputName(saved + 1));
    ExpectCompleteCards(folder, model::SplitWholeFile(text), saved);
  }
  EXPECT_EQ(ReadWholeFile(source), text);
  Scratch::RemoveAll(folder);
}

// The user picked a file in the destination that has an output file's name:
// the run stops before it would open that file for output.
class SourceInsideDestination : public ::testing::TestWithParam<int> {};

TEST_P(SourceInsideDestination, StopsBeforeOverwritingIt) {
  const int number = GetParam();
  Scratch scratch;
  const auto folder = scratch.Path();
  const auto source = folder / OutputName(static_cast<std::uint64_t>(number));
  const std::string text = PlainCards(5);
  WriteWholeFile(source, text);
  RecordingOwner owner;
  const auto outcome = Split(folder, source, owner);
  ExpectFailure(owner, outcome, {FailedStep::OutputIsSource});
  if (HasFatalFailure()) return;
  EXPECT_EQ(owner.failed.front().saved, static_cast<std::uint64_t>(number - 1));
  EXPECT_EQ(owner.failed.front().file.filename(), source.filename());
  EXPECT_EQ(ReadWholeFile(source), text) << "the source was overwritten";
  ExpectCompleteCards(folder, model::SplitWholeFile(text), static_cast<std::uint64_t>(number - 1),
                      {Printable(source.filename())});
}

INSTANTIATE_TEST_SUITE_P(AsOutputName, SourceInsideDestination, ::testing::Values(1, 3),
                         [](const auto& param) { return "vCard" + std::to_string(param.param); });

// Identity, not path text: the source reached through another name in the
// folder is still recognised when an output file would be it. A hard link
// gives the source a second name; a symbolic link is a name that leads to
// it. Creating either output would truncate the source.
enum class LinkKind { Hard, Symbolic };

class SourceReachedThroughALink : public ::testing::TestWithParam<LinkKind> {};

TEST_P(SourceReachedThroughALink, IsRecognisedAndNeverOverwritten) {
  Scratch scratch;
  const auto folder = scratch.Path() / "out";
  fs::create_directories(folder);
  const auto source = scratch.Path() / "contacts.vcf";
  const std::string text = PlainCards(4);
  WriteWholeFile(source, text);
  std::error_code error;
  if (GetParam() == LinkKind::Hard) {
    fs::create_hard_link(source, folder / OutputName(2), error);
  } else {
    fs::create_symlink(source, folder / OutputName(2), error);
  }
  if (error) GTEST_SKIP() << "this file system makes no such links: " << error.message();
  RecordingOwner owner;
  const auto outcome = Split(folder, source, owner);
  EXPECT_EQ(ReadWholeFile(source), text) << "the source was overwritten through a link to it";
  ExpectFailure(owner, outcome, {FailedStep::OutputIsSource});
  if (HasFatalFailure()) return;
  EXPECT_EQ(owner.failed.front().saved, 1u);
}

INSTANTIATE_TEST_SUITE_P(RealFiles, SourceReachedThroughALink,
                         ::testing::Values(LinkKind::Hard, LinkKind::Symbolic), [](const auto& param) {
                           return param.param == LinkKind::Hard ? "HardLink" : "SymbolicLink";
                         });

}  // namespace
}  // namespace quillmere::testing
