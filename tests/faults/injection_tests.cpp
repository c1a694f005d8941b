// Every file operation of a run is made to fail in turn, one run per call:
// whatever fails, the run says so, names the file, and leaves only complete
// cards behind, byte-identical to those of a run where nothing failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>

#include "memory_files.h"
#include "quillmere/messages.h"
#include "quillmere/splitter.h"
#include "recording_owner.h"
#include "sample_sources.h"

namespace quillmere::testing {
namespace {

const std::filesystem::path kFolder = std::filesystem::path("/") / "cards";
const std::filesystem::path kSource = std::filesystem::path("/") / "in" / "contacts.vcf";

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
    return RecordedSplit({.source = sourcePath.native(),
                          .folder = kFolder.native(),
                          .largeCardBytes = largeCardBytes,
                          .jobs = TestJobs(),
                          .batches = batches},
                         owner, faulty);
  }

  std::filesystem::path sourcePath;
  std::size_t largeCardBytes = SplitRequest{}.largeCardBytes;
  BatchLimits batches;
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
                  bool olderCards = false, BatchLimits batches = {}) {
  SplitRun run(source, kSource, olderCards);
  run.largeCardBytes = hold;
  run.batches = batches;
  run.memory.SetSourcesMayHaveOtherNames(linkedSource);
  const auto outcome = run.Go();
  EXPECT_EQ(outcome, RunOutcome::Finished);
  EXPECT_EQ(run.owner.finished.size(), 1u);
  CleanRun clean{run.memory.FilesIn(kFolder), {}};
  // Only the files this run made are its cards.
  const auto files = run.owner.Summary().files.value_or(run.owner.Summary().saved);
  for (std::uint64_t n = files + 1; n <= static_cast<std::uint64_t>(kOlderCards); ++n)
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
  // With batches the count is of cards, and the file is the batch after the
  // files they fill.
  const auto expectedFile = sourceStep ? kSource : OutputPath(failure.files.value_or(failure.saved) + 1);
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
  BatchLimits batches{};    // several cards to a file
  // After the failure the folder is read-only: nothing more is made,
  // renamed or removed (else only the first removal fails).
  bool readOnlyAfter = false;
};
void PrintTo(const Case& c, std::ostream* out) {
  *out << Name(c.op) << " of " << c.source;
  if (c.batches.Any())
    *out << " in batches of " << c.batches.cards << " cards, " << c.batches.bytes << " bytes";
}

std::optional<SampleSource> FindSource(const std::string& name) {
  for (auto& generated : GeneratedSources())
    if (generated.name == name) return generated;
  return CorpusSource(name);
}

#define QUILLMERE_SOURCE_OR_SKIP(var, name) \
  const auto var = FindSource(name);        \
  if (!var) GTEST_SKIP() << "corpus file " << (name) << " absent (../shared/corpus)"

// Files saved whole before a failure: with batches the count is of cards.
std::uint64_t FilesSaved(const RunFailure& failure) {
  return failure.files.value_or(failure.saved);
}

// The ways a call is made to go wrong, one row each. Every row runs the
// source once per call of the case's operation, that call going wrong.
struct FaultMode {
  const char* name;
  bool removalFailsToo;  // the clean-up's first removal fails as well
  bool throws;           // the call throws (memory running out) instead of failing
};
constexpr FaultMode kFails{"fails", false, false};
constexpr FaultMode kFailsThenRemovalFails{"fails, then Remove #1 fails", true, false};
constexpr FaultMode kThrows{"throws", false, true};

// Whatever goes wrong, the folder holds only whole cards and the source is
// untouched; `check` adds what the mode promises. Stops at the first broken
// point: one says enough.
template <typename Check>
void InjectAtEveryCall(const Case& c, const std::string& source, const FaultMode& mode, Check check) {
  // The identity of each output is checked when the source may have other
  // names; a failing check then claims the output is the source.
  const bool linked = c.op == Operation::IdOf;
  const auto clean = RunClean(source, linked, c.hold, c.olderCards, c.batches);
  ASSERT_GT(clean.calls.at(c.op), 0) << Name(c.op) << " is never called";
  for (int nth = 1; nth <= clean.calls.at(c.op); ++nth) {
    SCOPED_TRACE(std::string(Name(c.op)) + " #" + std::to_string(nth) + " " + mode.name);
    SplitRun run(source, kSource, c.olderCards);
    run.largeCardBytes = c.hold;
    run.batches = c.batches;
    run.memory.SetSourcesMayHaveOtherNames(linked);
    run.faulty.FailAt(c.op, nth);
    if (linked) run.faulty.SetIdOfFault(IdOfFault::SameAsSource);
    // A folder made read-only fails every make, rename and removal after
    // the first failure; otherwise only the first removal fails.
    if (mode.removalFailsToo && c.readOnlyAfter) run.faulty.SetReadOnlyAfterFailure(true);
    if (mode.removalFailsToo && !c.readOnlyAfter) run.faulty.FailAt(Operation::Remove, 1);
    run.faulty.SetThrowInstead(mode.throws);
    const auto outcome = run.Go();
    const std::string leftover = check(run, outcome, nth);
    if (::testing::Test::HasFatalFailure() || run.owner.failed.size() != 1) return;
    ExpectOnlyCompleteCards(run, clean, FilesSaved(run.owner.failed.front()), leftover);
    ExpectSourceUntouched(run, source);
    ExpectStoppedAtFailure(run);
    if (::testing::Test::HasFailure()) return;
  }
}

class EveryCallFails : public ::testing::TestWithParam<Case> {};

TEST_P(EveryCallFails, LeavesOnlyCompleteCardsAndReportsTheFile) {
  QUILLMERE_SOURCE_OR_SKIP(source, GetParam().source);
  const auto op = GetParam().op;
  const bool fileCreatedPerCard =
      (op == Operation::Create || op == Operation::CreateNew) && GetParam().hold == kDefaultHold;
  InjectAtEveryCall(GetParam(), source->bytes, kFails, [&](const SplitRun& run, RunOutcome outcome, int nth) {
    ExpectFailureReported(run, outcome, op, nth);
    // Whatever the number of writers, files are made in card order.
    if (fileCreatedPerCard && !run.owner.failed.empty()) {
      EXPECT_EQ(FilesSaved(run.owner.failed.front()), static_cast<std::uint64_t>(nth - 1))
          << "one file is created per card";
    }
    return std::string();
  });
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
  InjectAtEveryCall(GetParam(), source->bytes, kFailsThenRemovalFails,
                    [&](const SplitRun& run, RunOutcome outcome, int nth) {
                      ExpectFailureReported(run, outcome, GetParam().op, nth);
                      if (::testing::Test::HasFatalFailure()) return std::string();
                      const auto& failure = run.owner.failed.front();
                      // The one file left over is the one the message names.
                      const auto leftover = LeftOver(run, FilesSaved(failure));
                      EXPECT_LE(leftover.size(), 1u)
                          << "more than the one file that could not be removed is left";
                      if (leftover.empty()) return std::string();
                      EXPECT_NE(Printable(FailureMessage(failure)).find(leftover.front()), std::string::npos)
                          << leftover.front() << " is left over and the message does not name it";
                      return leftover.front();
                    });
}

// A stop wherever it lands (after a line, before a read, between the parts
// of a large card) leaves only whole cards numbered from 1 without a gap,
// and nothing else: no temporary file, no file left open.
struct StopCase {
  const char* what;
  std::size_t hold;
  BatchLimits batches;
  std::uint64_t cardsPerFile;  // of the source below
};
const StopCase kStopCases[] = {
    {"cards held", kDefaultHold, {}, 1},
    {"large cards", kSmallHold, {}, 1},
    {"batches of two", kDefaultHold, {.cards = 2}, 2},
    // A card in parts starts a file of its own: here every card.
    {"batches of large cards", kSmallHold, {.cards = 2}, 1},
};

TEST(Stop, WhereverItLandsLeavesOnlyWholeCardsAndNoTemporaryFile) {
  const auto source = PlainCards(4, "\r\n", 300) + "BEGIN:VCARD\r\nNOTE:" + std::string(200, 'u');
  for (const auto& [what, hold, batches, cardsPerFile] : kStopCases) {
    SCOPED_TRACE(what);
    const auto clean = RunClean(source, false, hold, false, batches);
    SplitRun counting(source);
    counting.largeCardBytes = hold;
    counting.batches = batches;
    counting.Go();
    ASSERT_GT(counting.owner.checks, 20u);
    for (std::size_t at = 1; at <= counting.owner.checks; ++at) {
      SCOPED_TRACE("stopped at check " + std::to_string(at));
      SplitRun run(source);
      run.largeCardBytes = hold;
      run.batches = batches;
      run.owner.stopAtCheck = at;
      ASSERT_EQ(run.Go(), RunOutcome::Stopped);
      EXPECT_TRUE(run.owner.finished.empty() && run.owner.failed.empty()) << "a stopped run reported";
      const std::uint64_t saved = run.owner.progress.empty() ? 0 : run.owner.progress.back();
      EXPECT_EQ(saved % cardsPerFile, 0u) << "a count of cards that fill no whole file";
      ExpectOnlyCompleteCards(run, clean, saved / cardsPerFile);
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
  InjectAtEveryCall(GetParam(), source->bytes, kThrows, [](const SplitRun& run, RunOutcome outcome, int) {
    EXPECT_EQ(outcome, RunOutcome::Failed);
    EXPECT_TRUE(run.owner.finished.empty());
    if (run.owner.failed.size() != 1u) {
      ADD_FAILURE() << run.owner.failed.size() << " failures reported, not one";
      return std::string();
    }
    const auto& failure = run.owner.failed.front();
    EXPECT_EQ(failure.step, FailedStep::Unexpected);
    EXPECT_EQ(failure.file.lexically_normal(), kSource.lexically_normal());
    EXPECT_NE(Printable(failure.reason).find("memory"), std::string::npos) << Printable(failure.reason);
    return std::string();
  });
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
                        bool olderCards = false, BatchLimits batches = {}, bool readOnlyAfter = false) {
  std::vector<Case> cases;
  for (const auto& source : SourceNames())
    for (auto op : ops) cases.push_back({source, op, hold, olderCards, batches, readOnlyAfter});
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
// Several cards to a file: held whole, and (past a small hold limit) written
// in parts to a temporary file; by count and by size.
constexpr BatchLimits kTwoCards{.cards = 2};
constexpr BatchLimits kThreeCardsOr700Bytes{.cards = 3, .bytes = 700};
INSTANTIATE_TEST_SUITE_P(Batches, EveryCallFails,
                         ::testing::ValuesIn(Cases({Operation::Read, Operation::IdOf, Operation::CreateNew,
                                                    Operation::Write, Operation::Close},
                                                   kDefaultHold, false, kTwoCards)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(BatchesBySize, EveryCallFails,
                         ::testing::ValuesIn(Cases({Operation::CreateNew, Operation::Write}, kDefaultHold,
                                                   false, kThreeCardsOr700Bytes)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(BatchesInParts, EveryCallFails,
                         ::testing::ValuesIn(Cases({Operation::CreateNew, Operation::Write, Operation::Close,
                                                    Operation::Rename},
                                                   kSmallHold, false, kTwoCards)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(BatchesInParts, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::Write, Operation::Rename}, kSmallHold, false,
                                                   kTwoCards)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Batches, EveryCallThrows,
                         ::testing::ValuesIn(Cases({Operation::CreateNew, Operation::Write,
                                                    Operation::Rename},
                                                   kSmallHold, false, kThreeCardsOr700Bytes)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(AllPoints, IdentityUnknown, ::testing::ValuesIn(SourceNames()),
                         [](const auto& param) { return Identifier(param.param); });
INSTANTIATE_TEST_SUITE_P(AllPoints, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::Write, Operation::Close})), CaseName);
// The folder made read-only during the run: the first file that cannot be
// made (a card's, a temporary one, or a rename) and everything after.
INSTANTIATE_TEST_SUITE_P(ReadOnlyFolder, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::CreateNew}, kDefaultHold, false, {}, true)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(ReadOnlyFolderOlderCards, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::Create}, kDefaultHold, true, {}, true)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(ReadOnlyFolderLargeCards, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::CreateNew, Operation::Rename}, kSmallHold,
                                                   false, {}, true)),
                         CaseName);

}  // namespace
}  // namespace quillmere::testing
