// Whole runs against the real file system: names, numbering, messages,
// progress and the failures a user can meet.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "quillmere/file_system.h"
#include "quillmere/messages.h"
#include "quillmere/splitter.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillmere::test {
namespace {

namespace fs = std::filesystem;

const std::string kThreeCards =
    "BEGIN:VCARD\r\nN:One\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nN:Two\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nN:Three\r\nEND:VCARD\r\n";

std::string Sep() {
  return std::string(1, static_cast<char>(fs::path::preferred_separator));
}

class SplitRun : public ::testing::Test {
 protected:
  fs::path Source(const std::string& bytes) {
    const fs::path file = in.Path() / "contacts.vcf";
    WriteWholeFile(file, bytes);
    return file;
  }
  RunOutcome Split(const fs::path& source) {
    return RecordedSplit({.source = source.native(), .folder = out.Text()}, owner);
  }

  ScratchFolder in, out;
  RecordingOwner owner;
};

TEST_F(SplitRun, ThreeCardsGiveThreeNumberedFilesAndTheExactMessage) {
  EXPECT_EQ(Split(Source(kThreeCards)), RunOutcome::Finished);
  EXPECT_EQ(OutputCards(out.Path()),
            (std::vector<std::string>{CardFile({"BEGIN:VCARD", "N:One", "END:VCARD"}),
                                      CardFile({"BEGIN:VCARD", "N:Two", "END:VCARD"}),
                                      CardFile({"BEGIN:VCARD", "N:Three", "END:VCARD"})}));
  EXPECT_EQ(owner.progress, (std::vector<std::uint64_t>{0, 0, 1, 1, 1, 2, 2, 2, 3}));
  EXPECT_EQ(FinalMessage(owner.Summary()), N("3 vCards Saved in \r\n") + out.Text() + N(Sep()));
  EXPECT_EQ(ProgressText(3), N("(3) vCards Saved"));
}

TEST_F(SplitRun, EmptySourceReportsNoProgressAndCountZero) {
  EXPECT_EQ(Split(Source("")), RunOutcome::Finished);
  EXPECT_TRUE(owner.progress.empty());
  EXPECT_EQ(owner.Summary().saved, 0u);
  EXPECT_TRUE(OutputCards(out.Path()).empty());
}

TEST_F(SplitRun, UnfinishedLastCardAddsANoteToTheMessage) {
  Split(Source(kThreeCards + "BEGIN:VCARD\r\nN:Four\r\n"));
  EXPECT_EQ(OutputCards(out.Path()).size(), 3u);
  EXPECT_EQ(FinalMessage(owner.Summary()),
            N("3 vCards Saved in \r\n") + out.Text() + N(Sep()) +
                N("\r\n\r\nThe last card has no END:VCARD line and was not saved."));
}

TEST_F(SplitRun, EmptyFolderTextDoesNothingAtAll) {
  const auto outcome =
      RecordedSplit({.source = Source(kThreeCards).native(), .folder = NativeString()}, owner);
  EXPECT_EQ(outcome, RunOutcome::NotStarted);
  EXPECT_TRUE(owner.progress.empty());
  EXPECT_TRUE(owner.finished.empty() && owner.failed.empty());
}

TEST_F(SplitRun, FolderThatEndsInASeparatorGetsNoSecondOne) {
  const auto source = Source(kThreeCards);
  RecordedSplit({.source = source.native(), .folder = out.Text() + N(Sep())}, owner);
  EXPECT_EQ(owner.Summary().folder, out.Text() + N(Sep()));
}

TEST_F(SplitRun, SourcePathIsTrimmedOfSpaces) {
  const auto source = Source(kThreeCards);
  EXPECT_EQ(
      RecordedSplit(
          {.source = N("  ") + source.native() + N(" "), .folder = out.Text(), .trimSourceSpaces = true},
          owner),
      RunOutcome::Finished);
  EXPECT_EQ(owner.Summary().saved, 3u);
}

TEST_F(SplitRun, SecondRunNumbersFromOneAndReplacesEarlierFiles) {
  WriteWholeFile(out.Path() / "vCard1.vcf", std::string(5000, 'x'));
  WriteWholeFile(out.Path() / "vCard9.vcf", "kept");
  Split(Source(kThreeCards));
  RecordingOwner second;
  RecordedSplit({.source = Source("BEGIN:VCARD\nN:New\nEND:VCARD\n").native(), .folder = out.Text()}, second);
  EXPECT_EQ(ReadWholeFile(out.Path() / "vCard1.vcf"), CardFile({"BEGIN:VCARD", "N:New", "END:VCARD"}));
  EXPECT_EQ(ReadWholeFile(out.Path() / "vCard2.vcf"), CardFile({"BEGIN:VCARD", "N:Two", "END:VCARD"}));
  EXPECT_EQ(ReadWholeFile(out.Path() / "vCard9.vcf"), "kept");
}

TEST_F(SplitRun, StoppedRunEndsBetweenCardsWithoutMessage) {
  owner.stopAfterLines = 4;
  EXPECT_EQ(Split(Source(kThreeCards)), RunOutcome::Stopped);
  EXPECT_TRUE(owner.finished.empty() && owner.failed.empty());
  EXPECT_EQ(OutputCards(out.Path()).size(), 1u);
}

TEST_F(SplitRun, FolderNameOutsideTheAnsiCodePage) {
  const fs::path folder = out.Path() / N("Контакты 山田");
  fs::create_directory(folder);
  EXPECT_EQ(RecordedSplit({.source = Source(kThreeCards).native(), .folder = folder.native()}, owner),
            RunOutcome::Finished);
  EXPECT_EQ(OutputCards(folder).size(), 3u);
  EXPECT_EQ(owner.Summary().folder, folder.native() + N(Sep()));
}

// Failures: the run stops, names the file and the reason, keeps what it saved.
TEST_F(SplitRun, MissingSourceIsReportedWithTheSystemReason) {
  const fs::path missing = in.Path() / "missing.vcf";
  EXPECT_EQ(Split(missing), RunOutcome::Failed);
  EXPECT_EQ(owner.Failure().step, FailedStep::OpenSource);
  EXPECT_EQ(owner.Failure().file, missing);
  EXPECT_FALSE(owner.Failure().reason.empty());
  EXPECT_EQ(owner.Failure().saved, 0u);
  const NativeString text = FailureMessage(owner.Failure());
  EXPECT_NE(text.find(missing.native()), NativeString::npos);
  EXPECT_NE(text.find(owner.Failure().reason), NativeString::npos);
  EXPECT_NE(text.find(N("0 vCards were saved before this failure.")), NativeString::npos);
}

TEST_F(SplitRun, FolderThatDoesNotExistFailsAtTheFirstCard) {
  EXPECT_EQ(RecordedSplit({.source = Source(kThreeCards).native(), .folder = (out.Path() / "gone").native()},
                          owner),
            RunOutcome::Failed);
  EXPECT_EQ(owner.Failure().step, FailedStep::CreateOutput);
  EXPECT_EQ(owner.Failure().file, out.Path() / "gone" / "vCard1.vcf");
  EXPECT_FALSE(owner.Failure().reason.empty());
}

// The source inside the folder under an output name, as vCard1.vcf or
// vCard3.vcf, and through links, is covered with the other real-file
// failures in tests/faults; here only the path-text variant.
TEST_F(SplitRun, SourceReachedThroughAnotherPathIsStillRecognised) {
  const fs::path source = out.Path() / "vCard1.vcf";
  WriteWholeFile(source, kThreeCards);
  const NativeString roundabout = (out.Path() / "." / "vCard1.vcf").native();
  EXPECT_EQ(RecordedSplit({.source = roundabout, .folder = out.Text()}, owner), RunOutcome::Failed);
  EXPECT_EQ(owner.Failure().step, FailedStep::OutputIsSource);
  EXPECT_EQ(ReadWholeFile(source), kThreeCards);
}

// A large card's file takes a name nothing had with a rename that cannot
// replace: whatever took the name since (a file, a folder) must stay as it
// is, and so must the card's file, so that the run can ask again what it is.
TEST(FileLayer, RenameNewLeavesATakenNameAndTheFileAlone) {
  ScratchFolder dir;
  FileSystem& files = SystemFiles();
  const fs::path card = dir.Path() / "card.partial", taken = dir.Path() / "taken.vcf";
  WriteWholeFile(card, "card");
  WriteWholeFile(taken, "source");
  fs::create_directory(dir.Path() / "folder.vcf");
  for (const fs::path& name : {taken, dir.Path() / "folder.vcf"}) {
    SCOPED_TRACE(name.filename().string());
    const auto error = files.RenameNew(card, name);
    ASSERT_TRUE(error.has_value()) << "the name was taken over";
    EXPECT_TRUE(error->nameTaken);
    EXPECT_EQ(ReadWholeFile(card), "card");
  }
  EXPECT_EQ(ReadWholeFile(taken), "source");
  EXPECT_FALSE(files.RenameNew(card, dir.Path() / "free.vcf").has_value());
  EXPECT_EQ(ReadWholeFile(dir.Path() / "free.vcf"), "card");
  EXPECT_FALSE(fs::exists(card));
}

#ifdef _WIN32
// Windows only: sharing, attributes and drive roots.
TEST_F(SplitRun, OutputHeldOpenWithoutSharingFailsAndEarlierCardsStay) {
  const fs::path held = out.Path() / "vCard2.vcf";
  WriteWholeFile(held, "held");
  HANDLE handle = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Split(Source(kThreeCards)), RunOutcome::Failed);
  CloseHandle(handle);
  EXPECT_EQ(owner.Failure().step, FailedStep::CreateOutput);
  EXPECT_EQ(owner.Failure().file, held);
  EXPECT_EQ(owner.Failure().saved, 1u);
  EXPECT_FALSE(owner.Failure().reason.empty());
  EXPECT_EQ(ReadWholeFile(held), "held");
  EXPECT_EQ(ReadWholeFile(out.Path() / "vCard1.vcf"), CardFile({"BEGIN:VCARD", "N:One", "END:VCARD"}));
}

TEST_F(SplitRun, DriveRootGetsNoSecondBackslash) {
  const NativeString root = L"C:\\";
  for (int n = 1; n <= 3; ++n) {
    if (fs::exists(root + L"vCard" + std::to_wstring(n) + L".vcf"))
      GTEST_SKIP() << "C:\\ already holds vCard files";
  }
  const auto outcome = RecordedSplit({.source = Source(kThreeCards).native(), .folder = root}, owner);
  const auto cards = OutputCards(root);
  for (int n = 1; n <= 3; ++n) fs::remove(root + L"vCard" + std::to_wstring(n) + L".vcf");
  EXPECT_EQ(outcome, RunOutcome::Finished);
  EXPECT_EQ(FinalMessage(owner.Summary()), N("3 vCards Saved in \r\nC:\\"));
  EXPECT_EQ(cards.size(), 3u);
}
#endif

}  // namespace
}  // namespace quillmere::test
