// Runs that name the files after the contacts, with every file operation
// made to fail in turn (in memory): whatever fails, the run says so and
// leaves only whole cards under the names a clean run gives them; a large
// card's temporary file never stays.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "memory_files.h"
#include "quillmere/splitter.h"
#include "recording_owner.h"
#include "sample_sources.h"

namespace quillmere::testing {
namespace {

const std::filesystem::path kFolder = std::filesystem::path("/") / "named";
const std::filesystem::path kSource = std::filesystem::path("/") / "in" / "contacts.vcf";

// Two of one name, one with no name, one after a photo large enough to be
// written in parts.
const std::string kSourceBytes =
    "BEGIN:VCARD\r\nFN:Jane Doe\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nPHOTO;ENCODING=b:" +
    std::string(300, 'P') +
    "\r\nN:Doe;Jane\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nNOTE:nobody\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Zo=C3=AB=\r\n Chen\r\nEND:VCARD\r\n";

struct NamedRun {
  explicit NamedRun(std::filesystem::path at = kSource, const std::string& bytes = kSourceBytes)
      : source(std::move(at)) {
    memory.Put(source, bytes);
    memory.AddFolder(kFolder);
    memory.SetReadSizes([](std::size_t asked) { return std::min<std::size_t>(asked, 7); });
  }
  RunOutcome Go() {
    return RecordedSplit({.source = source.native(),
                          .folder = kFolder.native(),
                          .largeCardBytes = 64,
                          .naming = FileNaming::Contacts},
                         owner, faulty);
  }
  std::filesystem::path source;
  MemoryFiles memory;
  FaultyFiles faulty{memory};
  RecordingOwner owner;
};

TEST(NamedRunFaults, EveryCallFailingInTurnLeavesOnlyWholeCardsUnderTheirNames) {
  NamedRun clean;
  ASSERT_EQ(clean.Go(), RunOutcome::Finished);
  const auto cleanFiles = clean.memory.FilesIn(kFolder);
  ASSERT_EQ(cleanFiles.size(), 4u);
  ASSERT_TRUE(cleanFiles.contains("Jane Doe (2).vcf"));
  ASSERT_TRUE(cleanFiles.contains("vCard3.vcf"));

  int tried = 0;
  // The folder starts empty, so every file is made with CreateNew.
  for (const auto op :
       {Operation::Read, Operation::Write, Operation::Close, Operation::CreateNew, Operation::Rename}) {
    ASSERT_GT(clean.faulty.Calls(op), 0) << Name(op) << " is never called";
    for (int nth = 1; nth <= clean.faulty.Calls(op); ++nth) {
      SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(nth));
      NamedRun run;
      run.faulty.FailAt(op, nth);
      ASSERT_EQ(run.Go(), RunOutcome::Failed);
      ASSERT_EQ(run.owner.failed.size(), 1u);
      const auto files = run.memory.FilesIn(kFolder);
      EXPECT_EQ(files.size(), run.owner.failed.front().saved) << "files differ from the count reported";
      const auto named = run.owner.failed.front().file.filename().string();
      if (named.find(".partial-") != std::string::npos) {
        EXPECT_TRUE(files.contains(named)) << "the failure names a temporary file that is gone: " << named;
      }
      for (const auto& [name, content] : files) {
        ASSERT_TRUE(cleanFiles.contains(name)) << name << " is no name a clean run gives";
        EXPECT_EQ(content, cleanFiles.at(name)) << name << " holds part of a card";
      }
      EXPECT_EQ(run.memory.Content(kSource), kSourceBytes);
      ++tried;
    }
  }
  EXPECT_GT(tried, 8);
}

// A large card's name is given at its end; one that fails before then is
// named after its contact once its FN line is whole, after its folder
// before that, and never after a temporary file that is gone.
TEST(NamedRunFaults, LargeCardFailingBeforeItsEndIsNamedAfterItsContactSoFar) {
  const std::string bytes = "BEGIN:VCARD\r\nFN:Omar Ngata\r\nPHOTO;ENCODING=b:" + std::string(300, 'P') +
                            "\r\nEND:VCARD\r\nBEGIN:VCARD\r\nPHOTO;ENCODING=b:" + std::string(300, 'P') +
                            "\r\nFN:Late Name\r\nEND:VCARD\r\n";
  NamedRun clean(kSource, bytes);
  ASSERT_EQ(clean.Go(), RunOutcome::Finished);
  std::set<std::string> seen;
  for (int nth = 1; nth <= clean.faulty.Calls(Operation::Write); ++nth) {
    NamedRun run(kSource, bytes);
    run.faulty.FailAt(Operation::Write, nth);
    ASSERT_EQ(run.Go(), RunOutcome::Failed);
    const RunFailure& failure = run.owner.failed.front();
    const std::string named = failure.file.filename().string();
    // Until a card's FN line is whole (the next line has begun) only the
    // folder can be named; never a name cut short.
    const std::set<std::string> allowed = {"", failure.saved == 0 ? "Omar Ngata.vcf" : "Late Name.vcf"};
    EXPECT_TRUE(allowed.contains(named)) << "write #" << nth << " named '" << named << "'";
    seen.insert(named);
  }
  EXPECT_TRUE(seen.contains("Omar Ngata.vcf")) << "no failure after the FN line named the contact";
}

// The source lies in the folder under the name the large card is given.
// The name is known only once the card has been read, so it is checked once,
// just before the card's file takes it: if that check cannot tell, the file
// must still not take the source's place.
TEST(NamedRunFaults, LargeCardNeverTakesTheSourcesNameWhenItsIdentityCannotBeTold) {
  const auto inside = kFolder / "Jane Doe (2).vcf";
  NamedRun clean(inside);
  ASSERT_EQ(clean.Go(), RunOutcome::Failed);
  ASSERT_EQ(clean.owner.failed.front().step, FailedStep::OutputIsSource);
  for (int nth = 1; nth <= clean.faulty.Calls(Operation::IdOf); ++nth) {
    SCOPED_TRACE("IdOf #" + std::to_string(nth) + " finds nothing");
    NamedRun run(inside);
    run.faulty.FailAt(Operation::IdOf, nth);
    run.Go();
    EXPECT_EQ(run.memory.Content(inside), kSourceBytes) << "the source was overwritten";
  }
}

}  // namespace
}  // namespace quillmere::testing
