// Every file operation of a run is made to fail in turn, one run per call:
// whatever fails, the run says so, names the file, and leaves only complete
// cards behind, byte-identical to those of a run where nothing failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <ostream>
#include <string>

#include "memory_files.h"
#include "recording_owner.h"
#include "sample_sources.h"
#include "splitter.h"

namespace quillmere::testing {
namespace {

const std::filesystem::path kFolder = std::filesystem::path("/") / "cards";
const std::filesystem::path kSource = std::filesystem::path("/") / "in" / "contacts.vcf";

// Runs with an injected failure, by the kind of fault, for the record.
std::map<std::string, int> pointsTried;

std::filesystem::path OutputPath(std::uint64_t number) {
  return kFolder / ("vCard" + std::to_string(number) + ".vcf");
}

constexpr int kOlderCards = 60;  // more than any source here has
const std::string kOlderCard = "\r\nBEGIN:VCARD\r\nFN:an earlier run\r\nEND:VCARD\r\n";

// One run over the source with reads of 7 bytes, so that line ends, marks and
// UTF-16 code units fall across reads and every read is a failure point.
struct SplitRun {
  explicit SplitRun(const std::string& source, std::filesystem::path at = kSource, bool olderCards = false)
      : sourcePath(std::move(at)) {
    memory.Put(sourcePath, source);
    memory.AddFolder(kFolder);
    // An earlier run's files: every name is taken, so each card replaces one.
    if (olderCards)
      for (int n = 1; n <= kOlderCards; ++n)
        memory.Put(OutputPath(static_cast<std::uint64_t>(n)), kOlderCard);
    memory.SetReadSizes([](std::size_t asked) { return std::min<std::size_t>(asked, 7); });
  }
  RunOutcome Go() {
    return SplitCards({.source = sourcePath.native(),
                       .folder = kFolder.native(),
                       .largeCardBytes = largeCardBytes,
                       .jobs = TestJobs()},
                      owner, faulty);
  }

  std::filesystem::path sourcePath;
  std::size_t largeCardBytes = SplitRequest{}.largeCardBytes;
  MemoryFiles memory;
  FaultyFiles faulty{memory};
  RecordingOwner owner;
};

struct CleanRun {
  std::map<std::string, std::string> files;
  std::map<Operation, int> calls;
};

bool IsTemporary(const std::filesystem::path& path) {
  return Printable(path.filename()).find(".partial-") != std::string::npos;
}

// Cards past this many bytes take the way of a card too large to hold: a
// temporary file, written in parts, renamed at the END line.
constexpr std::size_t kSmallHold = 64;
constexpr std::size_t kDefaultHold = SplitRequest{}.largeCardBytes;

const std::vector<Operation> kAllOperations = {
    Operation::OpenSource, Operation::Read,   Operation::Create, Operation::Write,
    Operation::Close,      Operation::Remove, Operation::IdOf,   Operation::IsEmptyFolder,
    Operation::CreateNew,  Operation::Rename};

CleanRun RunClean(const std::string& source, bool linkedSource = false, std::size_t hold = kDefaultHold,
                  bool olderCards = false) {
  SplitRun run(source, kSource, olderCards);
  run.largeCardBytes = hold;
  run.memory.SetSourcesMayHaveOtherNames(linkedSource);
  const auto outcome = run.Go();
  EXPECT_EQ(outcome, RunOutcome::Finished);
  EXPECT_EQ(run.owner.finished.size(), 1u);
  CleanRun clean{run.memory.FilesIn(kFolder), {}};
  // Only the files this run made are its cards.
  for (std::uint64_t n = run.owner.Summary().saved + 1; n <= static_cast<std::uint64_t>(kOlderCards); ++n)
    clean.files.erase("vCard" + std::to_string(n) + ".vcf");
  for (auto op : kAllOperations) clean.calls[op] = run.faulty.Calls(op);
  // Nothing but a temporary file that never became a card (the unfinished
  // last card's).
  const auto temporaries = std::count_if(run.faulty.Created().begin(), run.faulty.Created().end(),
                                         [](const auto& path) { return IsTemporary(path); });
  EXPECT_EQ(clean.calls[Operation::Remove], temporaries - clean.calls[Operation::Rename])
      << "a clean run removes nothing else";
  return clean;
}

FailedStep StepFor(Operation op) {
  switch (op) {
    case Operation::OpenSource:
      return FailedStep::OpenSource;
    case Operation::Read:
      return FailedStep::ReadSource;
    case Operation::Create:
    case Operation::CreateNew:
    case Operation::Rename:
      return FailedStep::CreateOutput;
    case Operation::IdOf:
      return FailedStep::OutputIsSource;
    default:
      return FailedStep::WriteOutput;
  }
}

// The folder holds vCard1.vcf to vCard<saved>.vcf and nothing else, each
// byte-identical to the clean run's file; `except` may be left over as well.
void ExpectOnlyCompleteCards(const SplitRun& run, const CleanRun& clean, std::uint64_t saved,
                             const std::string& except = {}) {
  auto files = run.memory.FilesIn(kFolder);
  if (!except.empty()) files.erase(except);
  // An earlier run's files past the count may stay as they were (or be
  // gone, where a card failed after taking the name), never part of a card.
  for (int n = static_cast<int>(saved) + 1; n <= kOlderCards; ++n) {
    const auto older = files.find("vCard" + std::to_string(n) + ".vcf");
    if (older != files.end() && older->second == kOlderCard) files.erase(older);
  }
  EXPECT_EQ(files.size(), saved) << "files in the folder differ from the count reported";
  for (std::uint64_t n = 1; n <= saved; ++n) {
    const auto name = "vCard" + std::to_string(n) + ".vcf";
    ASSERT_TRUE(files.contains(name)) << name << " missing though counted as saved";
    ASSERT_TRUE(clean.files.contains(name));
    EXPECT_EQ(files[name], clean.files.at(name)) << name << " differs from the clean run's";
  }
}

// Files in the folder other than vCard1.vcf .. vCard<saved>.vcf and an
// earlier run's files left as they were.
std::vector<std::string> LeftOver(const SplitRun& run, std::uint64_t saved) {
  std::vector<std::string> names;
  for (const auto& [name, content] : run.memory.FilesIn(kFolder)) {
    bool card = content == kOlderCard;
    for (std::uint64_t n = 1; n <= saved; ++n) card = card || name == "vCard" + std::to_string(n) + ".vcf";
    if (!card) names.push_back(name);
  }
  return names;
}

void ExpectSourceUntouched(const SplitRun& run, const std::string& source) {
  EXPECT_EQ(run.memory.Content(kSource), source) << "the source was changed";
  for (const auto& created : run.faulty.Created())
    EXPECT_NE(created.lexically_normal(), kSource.lexically_normal()) << "the source was created";
}

// After the failure a run may only close and remove what it had open. With
// several writers the run learns of a failure only when the writer that met
// it has recorded it, and the others may finish or start cards meanwhile;
// what must hold then is what the folder shows: only vCard1.vcf to
// vCardN.vcf, whole, and no file left open.
void ExpectStoppedAtFailure(const SplitRun& run) {
  if (TestJobs() == 1) {
    for (auto op : run.faulty.CallsAfterFailure())
      EXPECT_TRUE(op == Operation::Close || op == Operation::Remove)
          << Name(op) << " called after the failure: the run went on";
  }
  EXPECT_EQ(run.memory.OpenOutputs(), 0) << "an output file was left open";
}

void ExpectFailureReported(const SplitRun& run, RunOutcome outcome, Operation op, int nth) {
  ASSERT_EQ(outcome, RunOutcome::Failed);
  ASSERT_EQ(run.owner.failed.size(), 1u) << "the failure must be reported once";
  EXPECT_TRUE(run.owner.finished.empty()) << "a failed run also reported success";
  const auto& failure = run.owner.failed.front();
  EXPECT_EQ(failure.step, StepFor(op));
  EXPECT_FALSE(failure.reason.empty()) << "the failure gives no reason";
  if (op != Operation::IdOf) {
    EXPECT_NE(Printable(failure.reason).find(Printable(FaultyFiles::Injection(op, nth).reason)),
              std::string::npos)
        << "the system's reason is not passed on: " << Printable(failure.reason);
  }
  const bool sourceStep = op == Operation::OpenSource || op == Operation::Read;
  const auto expectedFile = sourceStep ? kSource : OutputPath(failure.saved + 1);
  EXPECT_EQ(failure.file.lexically_normal(), expectedFile.lexically_normal())
      << "the failure names " << Printable(failure.file);
  if (!run.owner.progress.empty()) {
    EXPECT_LE(run.owner.progress.back(), failure.saved);
  }
}

struct Case {
  std::string source;
  Operation op;
  std::size_t hold = kDefaultHold;
  bool olderCards = false;  // the folder holds an earlier run's files
  // After the failure the folder is read-only: nothing more is made,
  // renamed or removed (else only the first removal fails).
  bool readOnlyAfter = false;
};
void PrintTo(const Case& c, std::ostream* out) {
  *out << Name(c.op) << " of " << c.source;
}

std::optional<SampleSource> FindSource(const std::string& name) {
  for (auto& generated : GeneratedSources())
    if (generated.name == name) return generated;
  return CorpusSource(name);
}

#define QUILLMERE_SOURCE_OR_SKIP(var, name) \
  const auto var = FindSource(name);        \
  if (!var) GTEST_SKIP() << "corpus file " << (name) << " absent (../shared/corpus)"

class EveryCallFails : public ::testing::TestWithParam<Case> {};

TEST_P(EveryCallFails, LeavesOnlyCompleteCardsAndReportsTheFile) {
  QUILLMERE_SOURCE_OR_SKIP(source, GetParam().source);
  const auto op = GetParam().op;
  // The identity of each output is checked when the source may have other
  // names; a failing check then claims the output is the source.
  const bool linked = op == Operation::IdOf;
  const auto hold = GetParam().hold;
  const auto older = GetParam().olderCards;
  const auto clean = RunClean(source->bytes, linked, hold, older);
  ASSERT_GT(clean.calls.at(op), 0) << Name(op) << " is never called";

  for (int nth = 1; nth <= clean.calls.at(op); ++nth) {
    SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(nth));
    SplitRun run(source->bytes, kSource, older);
    run.largeCardBytes = hold;
    run.memory.SetSourcesMayHaveOtherNames(linked);
    run.faulty.FailAt(op, nth);
    if (linked) run.faulty.SetIdOfFault(IdOfFault::SameAsSource);
    const auto outcome = run.Go();
    ++pointsTried[std::string(Name(op)) + (hold == kDefaultHold ? "" : ", large cards") +
                  (older ? ", replacing an earlier run's files" : "")];
    ExpectFailureReported(run, outcome, op, nth);
    if (HasFatalFailure()) return;
    const auto saved = run.owner.failed.front().saved;
    if ((op == Operation::Create || op == Operation::CreateNew) && hold == kDefaultHold) {
      // Several writers may create a later card's file before an earlier one's.
      if (TestJobs() == 1) {
        EXPECT_EQ(saved, static_cast<std::uint64_t>(nth - 1)) << "one file is created per card";
      }
    }
    ExpectOnlyCompleteCards(run, clean, saved);
    ExpectSourceUntouched(run, source->bytes);
    ExpectStoppedAtFailure(run);
    if (HasFailure()) return;  // one broken point says enough
  }
}

// A check that cannot tell (an identity not found, a folder not known to be
// empty) must not stop or change a run.
class IdentityUnknown : public ::testing::TestWithParam<std::string> {};

TEST_P(IdentityUnknown, ChangesNothing) {
  QUILLMERE_SOURCE_OR_SKIP(source, GetParam());
  for (bool linked : {false, true}) {
    const auto clean = RunClean(source->bytes, linked);
    for (auto op : {Operation::IdOf, Operation::IsEmptyFolder}) {
      for (int nth = 1; nth <= clean.calls.at(op); ++nth) {
        SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(nth) + " cannot tell" +
                     (linked ? ", linked source" : ""));
        SplitRun run(source->bytes);
        run.memory.SetSourcesMayHaveOtherNames(linked);
        run.faulty.FailAt(op, nth);
        run.faulty.SetIdOfFault(IdOfFault::NoSuchFile);
        ASSERT_EQ(run.Go(), RunOutcome::Finished);
        ++pointsTried[std::string(Name(op)) + " cannot tell"];
        EXPECT_EQ(run.memory.FilesIn(kFolder), clean.files);
      }
    }
  }
}

// The source lies in the destination as vCard3.vcf. If the identity of the
// folder, of the source's own folder or of any output name cannot be found
// once, the run must still not take vCard3.vcf for a new file. (With several
// writers the names are asked in any order, so every ask is tried.)
TEST(GuardOfTheSource, UnknownFolderIdentityStillProtectsIt) {
  const auto source = PlainCards(5);
  const auto inside = kFolder / "vCard3.vcf";
  SplitRun clean(source, inside);
  clean.Go();
  const auto asks = std::ranges::count(clean.faulty.Sequence(), Operation::IdOf);
  for (int nth = 1; nth <= asks; ++nth) {
    SCOPED_TRACE("IdOf #" + std::to_string(nth) + " finds nothing");
    SplitRun run(source, inside);
    run.faulty.FailAt(Operation::IdOf, nth);
    run.Go();
    ++pointsTried["IdOf cannot tell, source in the folder"];
    EXPECT_EQ(run.memory.Content(inside), source) << "the source was overwritten";
  }
}

// A write or close that fails and then a removal that fails too (or a
// folder made read-only, where the first file that cannot be made is the
// failure): the run still reports the first failure and names the file it
// could not clean up; every other file is complete, and no card follows a
// gap, whatever the number of writers.
class CleanupFailsToo : public ::testing::TestWithParam<Case> {};

TEST_P(CleanupFailsToo, FailureIsStillReportedAndNamesTheFile) {
  QUILLMERE_SOURCE_OR_SKIP(source, GetParam().source);
  const auto op = GetParam().op;
  const auto hold = GetParam().hold;
  const auto older = GetParam().olderCards;
  const auto readOnly = GetParam().readOnlyAfter;
  const auto clean = RunClean(source->bytes, false, hold, older);
  ASSERT_GT(clean.calls.at(op), 0) << Name(op) << " is never called";
  for (int nth = 1; nth <= clean.calls.at(op); ++nth) {
    SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(nth) +
                 (readOnly ? ", the folder read-only from then on" : ", then Remove #1"));
    SplitRun run(source->bytes, kSource, older);
    run.largeCardBytes = hold;
    run.faulty.FailAt(op, nth);
    if (readOnly) {
      run.faulty.SetReadOnlyAfterFailure(true);
    } else {
      run.faulty.FailAt(Operation::Remove, 1);
    }
    const auto outcome = run.Go();
    ++pointsTried[std::string(Name(op)) + (readOnly ? ", folder read-only from then on" : " then Remove") +
                  (hold == kDefaultHold ? "" : ", large cards") +
                  (older ? ", replacing an earlier run's files" : "")];
    ExpectFailureReported(run, outcome, op, nth);
    if (HasFatalFailure()) return;
    const auto& failure = run.owner.failed.front();
    // The one file left over is the one the message names.
    const auto leftover = LeftOver(run, failure.saved);
    ASSERT_LE(leftover.size(), 1u) << "more than the one file that could not be removed is left";
    if (!leftover.empty()) {
      EXPECT_NE(Printable(FailureMessage(failure)).find(leftover.front()), std::string::npos)
          << leftover.front() << " is left over and the message does not name it";
    }
    ExpectOnlyCompleteCards(run, clean, failure.saved, leftover.empty() ? "" : leftover.front());
    ExpectSourceUntouched(run, source->bytes);
    ExpectStoppedAtFailure(run);
    if (HasFailure()) return;
  }
}

// A stop wherever it lands (after a line, before a read, between the parts
// of a large card) leaves only whole cards numbered from 1 without a gap,
// and nothing else: no temporary file, no file left open.
TEST(Stop, WhereverItLandsLeavesOnlyWholeCardsAndNoTemporaryFile) {
  const auto source = PlainCards(4, "\r\n", 300) + "BEGIN:VCARD\r\nNOTE:" + std::string(200, 'u');
  for (std::size_t hold : {kDefaultHold, kSmallHold}) {
    SCOPED_TRACE(hold == kDefaultHold ? "cards held" : "large cards");
    const auto clean = RunClean(source, false, hold);
    SplitRun counting(source);
    counting.largeCardBytes = hold;
    counting.Go();
    ASSERT_GT(counting.owner.checks, 20u);
    for (std::size_t at = 1; at <= counting.owner.checks; ++at) {
      SCOPED_TRACE("stopped at check " + std::to_string(at));
      SplitRun run(source);
      run.largeCardBytes = hold;
      run.owner.stopAtCheck = at;
      ASSERT_EQ(run.Go(), RunOutcome::Stopped);
      ++pointsTried[hold == kDefaultHold ? "stop" : "stop, large cards"];
      EXPECT_TRUE(run.owner.finished.empty() && run.owner.failed.empty()) << "a stopped run reported";
      const std::uint64_t saved = run.owner.progress.empty() ? 0 : run.owner.progress.back();
      ExpectOnlyCompleteCards(run, clean, saved);
      EXPECT_EQ(run.memory.OpenOutputs(), 0) << "an output file was left open";
      if (HasFailure()) return;
    }
  }
}

// The source ends inside a card too large to hold, or a stop lands in one:
// its temporary file goes. If it cannot be removed, that is a failure that
// names it, never a silent leftover.
TEST(LargeCardEnds, UnfinishedOrStoppedRemovesItsTemporaryFileOrSaysItCouldNot) {
  const auto source = PlainCards(2) + "BEGIN:VCARD\r\nNOTE:" + std::string(500, 'u') + "\r\n";
  const auto clean = RunClean(source, false, kSmallHold);
  ASSERT_EQ(clean.files.size(), 2u);
  for (bool stop : {false, true}) {
    for (bool removalFails : {false, true}) {
      SCOPED_TRACE(std::string(stop ? "stopped" : "source ended") + (removalFails ? ", removal fails" : ""));
      SplitRun run(source);
      run.largeCardBytes = kSmallHold;
      if (stop) run.owner.stopAfterLines = 21;  // the last line, inside the last card
      if (removalFails) run.faulty.FailAt(Operation::Remove, 1);
      const auto outcome = run.Go();
      ASSERT_GT(run.faulty.Calls(Operation::CreateNew), 0) << "the last card never went to a temporary file";
      if (!removalFails) {
        EXPECT_EQ(outcome, stop ? RunOutcome::Stopped : RunOutcome::Finished);
        if (!stop) {
          EXPECT_TRUE(run.owner.Summary().unfinishedLastCard);
        }
        EXPECT_EQ(run.memory.FilesIn(kFolder), clean.files);
        continue;
      }
      ASSERT_EQ(outcome, RunOutcome::Failed);
      const auto failure = run.owner.Failure();
      EXPECT_EQ(failure.step, FailedStep::RemoveTemporary);
      EXPECT_EQ(failure.saved, 2u);
      const auto leftover = LeftOver(run, 2);
      ASSERT_EQ(leftover.size(), 1u);
      EXPECT_EQ(Printable(failure.file.filename()), leftover.front());
      EXPECT_EQ(leftover.front().rfind(".vCard3.vcf.partial-", 0), 0u) << leftover.front();
    }
  }
}

// Anything thrown in a run (memory running out, above all) ends it as a
// reported failure with the count saved, and leaves only whole cards.
class EveryCallThrows : public ::testing::TestWithParam<Case> {};

TEST_P(EveryCallThrows, IsReportedAsAFailureAndLeavesOnlyWholeCards) {
  QUILLMERE_SOURCE_OR_SKIP(source, GetParam().source);
  const auto op = GetParam().op;
  const auto hold = GetParam().hold;
  const auto clean = RunClean(source->bytes, false, hold);
  ASSERT_GT(clean.calls.at(op), 0) << Name(op) << " is never called";
  for (int nth = 1; nth <= clean.calls.at(op); ++nth) {
    SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(nth) + " throws");
    SplitRun run(source->bytes);
    run.largeCardBytes = hold;
    run.faulty.FailAt(op, nth);
    run.faulty.SetThrowInstead(true);
    const auto outcome = run.Go();
    ++pointsTried[std::string(Name(op)) + " throws" + (hold == kDefaultHold ? "" : ", large cards")];
    ASSERT_EQ(outcome, RunOutcome::Failed);
    ASSERT_EQ(run.owner.failed.size(), 1u);
    EXPECT_TRUE(run.owner.finished.empty());
    const auto& failure = run.owner.failed.front();
    EXPECT_EQ(failure.step, FailedStep::Unexpected);
    EXPECT_EQ(failure.file.lexically_normal(), kSource.lexically_normal());
    EXPECT_NE(Printable(failure.reason).find("memory"), std::string::npos) << Printable(failure.reason);
    ExpectOnlyCompleteCards(run, clean, failure.saved);
    EXPECT_EQ(run.memory.OpenOutputs(), 0) << "an output file was left open";
    if (HasFailure()) return;
  }
}

std::vector<std::string> SourceNames() {
  std::vector<std::string> names;
  for (const auto& source : GeneratedSources()) names.push_back(source.name);
  for (const char* real :
       {"mangstadt__ez-vcard__John_Doe_ANDROID.vcf", "FolkerKinzel__VCards__v3Utf16Bom.vcf",
        "CyanogenMod__android_frameworks_opt_vcard__v21_nest.vcf", "mangstadt__ez-vcard__gmail-list.vcf"})
    names.emplace_back(real);
  return names;
}

std::vector<Case> Cases(std::initializer_list<Operation> ops, std::size_t hold = kDefaultHold,
                        bool olderCards = false, bool readOnlyAfter = false) {
  std::vector<Case> cases;
  for (const auto& source : SourceNames())
    for (auto op : ops) cases.push_back({source, op, hold, olderCards, readOnlyAfter});
  return cases;
}

std::string Identifier(std::string text) {
  for (char& c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return text;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
  return Identifier(std::string(Name(param.param.op)) + "_" + param.param.source);
}

INSTANTIATE_TEST_SUITE_P(AllPoints, EveryCallFails,
                         ::testing::ValuesIn(Cases({Operation::OpenSource, Operation::Read, Operation::IdOf,
                                                    Operation::CreateNew, Operation::Write,
                                                    Operation::Close})),
                         CaseName);
// Every name is taken by an earlier run's file: each card replaces one.
INSTANTIATE_TEST_SUITE_P(OlderCards, EveryCallFails,
                         ::testing::ValuesIn(Cases({Operation::IdOf, Operation::Create, Operation::Write,
                                                    Operation::Close},
                                                   kDefaultHold, true)),
                         CaseName);
// Every card past a few bytes goes the way of a card too large to hold:
// creating its temporary file, writing each part, closing and renaming it
// fail in turn.
INSTANTIATE_TEST_SUITE_P(LargeCards, EveryCallFails,
                         ::testing::ValuesIn(Cases({Operation::Read, Operation::IdOf, Operation::CreateNew,
                                                    Operation::Write, Operation::Close, Operation::Rename},
                                                   kSmallHold)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(LargeCards, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::Write, Operation::Close, Operation::Rename},
                                                   kSmallHold)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(AllPoints, EveryCallThrows,
                         ::testing::ValuesIn(Cases({Operation::Read, Operation::CreateNew, Operation::Write,
                                                    Operation::Close})),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(LargeCards, EveryCallThrows,
                         ::testing::ValuesIn(Cases({Operation::CreateNew, Operation::Write, Operation::Close,
                                                    Operation::Rename},
                                                   kSmallHold)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(AllPoints, IdentityUnknown, ::testing::ValuesIn(SourceNames()),
                         [](const auto& param) { return Identifier(param.param); });
INSTANTIATE_TEST_SUITE_P(AllPoints, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::Write, Operation::Close})), CaseName);
// The folder made read-only during the run: the first file that cannot be
// made (a card's, a temporary one, or a rename) and everything after.
INSTANTIATE_TEST_SUITE_P(ReadOnlyFolder, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::CreateNew}, kDefaultHold, false, true)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(ReadOnlyFolderOlderCards, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::Create}, kDefaultHold, true, true)), CaseName);
INSTANTIATE_TEST_SUITE_P(ReadOnlyFolderLargeCards, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::CreateNew, Operation::Rename}, kSmallHold,
                                                   false, true)),
                         CaseName);

// Prints the number of injection points tried, for the record.
class PointCounter : public ::testing::Environment {
 public:
  void TearDown() override {
    int total = 0;
    for (const auto& [kind, count] : pointsTried) {
      std::cout << "injection points tried, " << kind << ": " << count << '\n';
      total += count;
    }
    std::cout << "injection points tried: " << total << '\n';
  }
};
const auto* const counter = ::testing::AddGlobalTestEnvironment(new PointCounter);

}  // namespace
}  // namespace quillmere::testing
