// Whole runs that name the files after the contacts, on the real file
// system: the names on disk (wide names under Windows), the cards in them,
// and the numbered split's promises kept under the new names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "quillmere/splitter.h"
#include "test_support.h"

namespace quillmere::test {
namespace {

namespace fs = std::filesystem;

class NamesRun : public ::testing::Test {
 protected:
  fs::path Source(const std::string& bytes, const fs::path& folder) {
    const fs::path file = folder / "contacts.vcf";
    WriteWholeFile(file, bytes);
    return file;
  }
  RunOutcome Split(const fs::path& source) {
    return RecordedSplit({.source = source.native(), .folder = out.Text(), .naming = FileNaming::Contacts},
                         owner);
  }
  // Every file in the output folder, by its name as the system lists it.
  std::set<NativeString> Listed() const {
    std::set<NativeString> names;
    for (const auto& entry : fs::directory_iterator(out.Path()))
      names.insert(entry.path().filename().native());
    return names;
  }

  ScratchFolder in, out;
  RecordingOwner owner;
};

std::string Card(const std::string& nameLine) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + nameLine + "\r\nEND:VCARD\r\n";
}

TEST_F(NamesRun, EachCardUnderItsContactsNameOnDiskWithItsBytes) {
  const std::string source = Card("FN:Jane Doe") + Card("FN:Zo\xC3\xAB \xF0\x9F\x98\x80 Chen") +
                             Card("N;CHARSET=SHIFT_JIS:\x88\xC0\x93\xA1;\x83\x8D\x83\x43\x83\x68") +
                             Card("NOTE:no name") + Card("FN:jane DOE") + Card("FN:Con");
  ASSERT_EQ(Split(Source(source, in.Path())), RunOutcome::Finished);
  const std::vector<std::string> names = {"Jane Doe.vcf",
                                          "Zo\xC3\xAB \xF0\x9F\x98\x80 Chen.vcf",
                                          "\xE3\x83\xAD\xE3\x82\xA4\xE3\x83\x89 \xE5\xAE\x89\xE8\x97\xA4.vcf",
                                          "vCard4.vcf",
                                          "jane DOE (2).vcf",
                                          "Con_.vcf"};
  std::set<NativeString> expected;
  for (const auto& name : names) expected.insert(N(name));
  // Listed by the system: under Windows these are the wide names, not the
  // ANSI code page's guess at them.
  EXPECT_EQ(Listed(), expected);
  EXPECT_EQ(ReadWholeFile(out.Path() / N("Jane Doe.vcf")),
            CardFile({"BEGIN:VCARD", "VERSION:3.0", "FN:Jane Doe", "END:VCARD"}));
  EXPECT_EQ(ReadWholeFile(out.Path() / N("jane DOE (2).vcf")),
            CardFile({"BEGIN:VCARD", "VERSION:3.0", "FN:jane DOE", "END:VCARD"}));
  EXPECT_EQ(owner.Summary().saved, 6u);
}

TEST_F(NamesRun, AFileOfTheSameNameFromBeforeIsReplaced) {
  WriteWholeFile(out.Path() / "Jane Doe.vcf", std::string(1000, 'x'));
  ASSERT_EQ(Split(Source(Card("FN:Jane Doe"), in.Path())), RunOutcome::Finished);
  EXPECT_EQ(ReadWholeFile(out.Path() / "Jane Doe.vcf"),
            CardFile({"BEGIN:VCARD", "VERSION:3.0", "FN:Jane Doe", "END:VCARD"}));
}

TEST_F(NamesRun, ALinkUnderAContactsNameIsReplacedNotWrittenThrough) {
  const fs::path victim = in.Path() / "victim.txt";
  WriteWholeFile(victim, "keep me");
  std::error_code error;
  fs::create_symlink(victim, out.Path() / "Jane Doe.vcf", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  ASSERT_EQ(Split(Source(Card("FN:Jane Doe"), in.Path())), RunOutcome::Finished);
  EXPECT_EQ(ReadWholeFile(victim), "keep me");
  EXPECT_FALSE(fs::is_symlink(out.Path() / "Jane Doe.vcf"));
  EXPECT_EQ(ReadWholeFile(out.Path() / "Jane Doe.vcf"),
            CardFile({"BEGIN:VCARD", "VERSION:3.0", "FN:Jane Doe", "END:VCARD"}));
}

TEST_F(NamesRun, TheSourceUnderAContactsNameIsNeverWritten) {
  // The source lies in the output folder under the name its second card
  // would get, as after an earlier split into the same folder.
  const std::string source = Card("FN:Ann Lee") + Card("FN:Jane Doe");
  const fs::path file = out.Path() / "jane doe.vcf";
  WriteWholeFile(file, source);
  const auto outcome = Split(file);
  if (fs::exists(out.Path() / "Jane Doe.vcf") && !fs::equivalent(out.Path() / "Jane Doe.vcf", file)) {
    // A case-sensitive file system: two different names, nothing to guard.
    EXPECT_EQ(outcome, RunOutcome::Finished);
  } else {
    EXPECT_EQ(outcome, RunOutcome::Failed);
    EXPECT_EQ(owner.Failure().step, FailedStep::OutputIsSource);
    EXPECT_EQ(owner.Failure().saved, 1u);
  }
  EXPECT_EQ(ReadWholeFile(file), source);
}

TEST_F(NamesRun, SourceUnderTheExactNameStopsTheRunOnEverySystem) {
  const std::string source = Card("FN:Ann Lee") + Card("FN:Jane Doe");
  const fs::path file = out.Path() / "Jane Doe.vcf";
  WriteWholeFile(file, source);
  EXPECT_EQ(Split(file), RunOutcome::Failed);
  EXPECT_EQ(owner.Failure().step, FailedStep::OutputIsSource);
  EXPECT_EQ(owner.Failure().file, file);
  EXPECT_EQ(ReadWholeFile(file), source);
  EXPECT_TRUE(fs::exists(out.Path() / "Ann Lee.vcf"));
}

TEST_F(NamesRun, AStopLeavesOnlyWholeCards) {
  owner.stopAfterLines = 9;  // inside the third card
  const std::string source = Card("FN:A") + Card("FN:B") + Card("FN:C");
  EXPECT_EQ(Split(Source(source, in.Path())), RunOutcome::Stopped);
  EXPECT_EQ(Listed(), (std::set<NativeString>{N("A.vcf"), N("B.vcf")}));
}

TEST_F(NamesRun, NumberedSplitIsStillTheDefault) {
  ASSERT_EQ(
      RecordedSplit({.source = Source(Card("FN:Jane Doe"), in.Path()).native(), .folder = out.Text()}, owner),
      RunOutcome::Finished);
  EXPECT_EQ(Listed(), std::set<NativeString>{N("vCard1.vcf")});
}

TEST_F(NamesRun, ALargeCardWrittenAsItIsReadTakesItsContactsNameAtItsEnd) {
  // The name comes after a photo far larger than a card that is held, so it
  // is read from the parts as they are written, and known only at the end.
  const std::string photo = "PHOTO;ENCODING=b:" + std::string(200000, 'Q');
  const std::string big = "BEGIN:VCARD\r\n" + photo + "\r\nN:Doe;Jane\r\nEND:VCARD\r\n";
  const std::string source = Card("FN:Jane Doe") + big + Card("FN:Ann Lee");
  ASSERT_EQ(RecordedSplit({.source = Source(source, in.Path()).native(),
                           .folder = out.Text(),
                           .largeCardBytes = 4096,
                           .naming = FileNaming::Contacts},
                          owner),
            RunOutcome::Finished);
  EXPECT_EQ(Listed(), (std::set<NativeString>{N("Jane Doe.vcf"), N("Jane Doe (2).vcf"), N("Ann Lee.vcf")}));
  EXPECT_EQ(ReadWholeFile(out.Path() / "Jane Doe (2).vcf"),
            CardFile({"BEGIN:VCARD", photo, "N:Doe;Jane", "END:VCARD"}));
}

TEST_F(NamesRun, ALargeCardOverTheSourcesNameStopsTheRunAndLeavesNothing) {
  const std::string big =
      "BEGIN:VCARD\r\nNOTE:" + std::string(100000, 'n') + "\r\nFN:Jane Doe\r\nEND:VCARD\r\n";
  const fs::path file = out.Path() / "Jane Doe.vcf";
  WriteWholeFile(file, big);
  EXPECT_EQ(RecordedSplit({.source = file.native(),
                           .folder = out.Text(),
                           .largeCardBytes = 4096,
                           .naming = FileNaming::Contacts},
                          owner),
            RunOutcome::Failed);
  EXPECT_EQ(owner.Failure().step, FailedStep::OutputIsSource);
  EXPECT_EQ(ReadWholeFile(file), big);
  EXPECT_EQ(Listed(), std::set<NativeString>{N("Jane Doe.vcf")}) << "no temporary file left";
}

class RecordingList final : public NameList {
 public:
  void Named(std::uint64_t number, const NativeString& fileName) override {
    named.emplace_back(number, fileName);
  }
  std::vector<std::pair<std::uint64_t, NativeString>> named;
};

TEST_F(NamesRun, ListingGivesEachCardsNumberAndNameAndWritesNothing) {
  const std::string source =
      Card("FN:Jane Doe") + Card("NOTE:none") + Card("FN:JANE DOE") + "BEGIN:VCARD\r\nFN:Cut";
  RecordingList list;
  const auto outcome = RecordedList(
      {.source = Source(source, in.Path()).native(), .folder = out.Text(), .naming = FileNaming::Contacts},
      owner, list);
  EXPECT_EQ(outcome, RunOutcome::Finished);
  EXPECT_EQ(list.named, (std::vector<std::pair<std::uint64_t, NativeString>>{
                            {1, N("Jane Doe.vcf")}, {2, N("vCard2.vcf")}, {3, N("JANE DOE (2).vcf")}}));
  EXPECT_TRUE(Listed().empty());
  EXPECT_EQ(owner.Summary().saved, 3u);
  EXPECT_TRUE(owner.Summary().unfinishedLastCard);
}

TEST_F(NamesRun, ListingNamesALargeCardFromItsParts) {
  const std::string big =
      "BEGIN:VCARD\r\nNOTE:" + std::string(100000, 'n') + "\r\nFN:Jane Doe\r\nEND:VCARD\r\n";
  RecordingList list;
  EXPECT_EQ(RecordedList({.source = Source(big + Card("FN:Ann"), in.Path()).native(),
                          .folder = out.Text(),
                          .largeCardBytes = 4096,
                          .naming = FileNaming::Contacts},
                         owner, list),
            RunOutcome::Finished);
  EXPECT_EQ(list.named,
            (std::vector<std::pair<std::uint64_t, NativeString>>{{1, N("Jane Doe.vcf")}, {2, N("Ann.vcf")}}));
  EXPECT_TRUE(Listed().empty());
}

TEST_F(NamesRun, ListingNeedsNoFolderAndListsTheNumberedNamesToo) {
  RecordingList list;
  EXPECT_EQ(RecordedList({.source = Source(Card("FN:A") + Card("FN:B"), in.Path()).native(), .folder = {}},
                         owner, list),
            RunOutcome::Finished);
  EXPECT_EQ(list.named, (std::vector<std::pair<std::uint64_t, NativeString>>{{1, N("vCard1.vcf")},
                                                                             {2, N("vCard2.vcf")}}));
}

}  // namespace
}  // namespace quillmere::test
