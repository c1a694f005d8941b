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

// One run over the source with reads of 7 bytes, so that line ends, marks and
// UTF-16 code units fall across reads and every read is a failure point.
struct SplitRun {
  explicit SplitRun(const std::string& source, std::filesystem::path at = kSource)
      : sourcePath(std::move(at)) {
    memory.Put(sourcePath, source);
    memory.AddFolder(kFolder);
    memory.SetReadSizes([](std::size_t asked) { return std::min<std::size_t>(asked, 7); });
  }
  RunOutcome Go() {
    return SplitCards({.source = sourcePath.native(), .folder = kFolder.native()}, owner, faulty);
  }

  std::filesystem::path sourcePath;
  MemoryFiles memory;
  FaultyFiles faulty{memory};
  RecordingOwner owner;
};

struct CleanRun {
  std::map<std::string, std::string> files;
  std::map<Operation, int> calls;
};

CleanRun RunClean(const std::string& source, bool linkedSource = false) {
  SplitRun run(source);
  run.memory.SetSourcesMayHaveOtherNames(linkedSource);
  const auto outcome = run.Go();
  EXPECT_EQ(outcome, RunOutcome::Finished);
  EXPECT_EQ(run.owner.finished.size(), 1u);
  CleanRun clean{run.memory.FilesIn(kFolder), {}};
  for (auto op : {Operation::OpenSource, Operation::Read, Operation::Create, Operation::Write,
                  Operation::Close, Operation::Remove, Operation::IdOf, Operation::IsEmptyFolder})
    clean.calls[op] = run.faulty.Calls(op);
  EXPECT_EQ(clean.calls[Operation::Remove], 0) << "a clean run removes nothing";
  return clean;
}

FailedStep StepFor(Operation op) {
  switch (op) {
    case Operation::OpenSource:
      return FailedStep::OpenSource;
    case Operation::Read:
      return FailedStep::ReadSource;
    case Operation::Create:
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
  EXPECT_EQ(files.size(), saved) << "files in the folder differ from the count reported";
  for (std::uint64_t n = 1; n <= saved; ++n) {
    const auto name = "vCard" + std::to_string(n) + ".vcf";
    ASSERT_TRUE(files.contains(name)) << name << " missing though counted as saved";
    ASSERT_TRUE(clean.files.contains(name));
    EXPECT_EQ(files[name], clean.files.at(name)) << name << " differs from the clean run's";
  }
}

void ExpectSourceUntouched(const SplitRun& run, const std::string& source) {
  EXPECT_EQ(run.memory.Content(kSource), source) << "the source was changed";
  for (const auto& created : run.faulty.Created())
    EXPECT_NE(created.lexically_normal(), kSource.lexically_normal()) << "the source was created";
}

// After the failure a run may only close and remove what it had open.
void ExpectStoppedAtFailure(const SplitRun& run) {
  for (auto op : run.faulty.CallsAfterFailure())
    EXPECT_TRUE(op == Operation::Close || op == Operation::Remove)
        << Name(op) << " called after the failure: the run went on";
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
  const auto clean = RunClean(source->bytes, linked);
  ASSERT_GT(clean.calls.at(op), 0) << Name(op) << " is never called";

  for (int nth = 1; nth <= clean.calls.at(op); ++nth) {
    SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(nth));
    SplitRun run(source->bytes);
    run.memory.SetSourcesMayHaveOtherNames(linked);
    run.faulty.FailAt(op, nth);
    if (linked) run.faulty.SetIdOfFault(IdOfFault::SameAsSource);
    const auto outcome = run.Go();
    ++pointsTried[Name(op)];
    ExpectFailureReported(run, outcome, op, nth);
    if (HasFatalFailure()) return;
    const auto saved = run.owner.failed.front().saved;
    if (op == Operation::Create) {
      EXPECT_EQ(saved, static_cast<std::uint64_t>(nth - 1)) << "one file is created per card";
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
// folder or of the source's own folder cannot be found before the first file
// is created, the run must still not take vCard3.vcf for a new file.
TEST(GuardOfTheSource, UnknownFolderIdentityStillProtectsIt) {
  const auto source = PlainCards(5);
  const auto inside = kFolder / "vCard3.vcf";
  SplitRun clean(source, inside);
  clean.Go();
  const auto& sequence = clean.faulty.Sequence();
  const auto firstCreate = std::find(sequence.begin(), sequence.end(), Operation::Create);
  const auto before = std::count(sequence.begin(), firstCreate, Operation::IdOf);
  for (int nth = 1; nth <= before; ++nth) {
    SCOPED_TRACE("IdOf #" + std::to_string(nth) + " finds nothing");
    SplitRun run(source, inside);
    run.faulty.FailAt(Operation::IdOf, nth);
    run.Go();
    ++pointsTried["IdOf cannot tell, source in the folder"];
    EXPECT_EQ(run.memory.Content(inside), source) << "the source was overwritten";
  }
}

// A write or close that fails and then a removal that fails too: the run
// still reports the first failure and names the file it could not clean up;
// every other file is complete.
class CleanupFailsToo : public ::testing::TestWithParam<Case> {};

TEST_P(CleanupFailsToo, FailureIsStillReportedAndNamesTheFile) {
  QUILLMERE_SOURCE_OR_SKIP(source, GetParam().source);
  const auto op = GetParam().op;
  const auto clean = RunClean(source->bytes);
  for (int nth = 1; nth <= clean.calls.at(op); ++nth) {
    SCOPED_TRACE(std::string(Name(op)) + " #" + std::to_string(nth) + ", then Remove #1");
    SplitRun run(source->bytes);
    run.faulty.FailAt(op, nth);
    run.faulty.FailAt(Operation::Remove, 1);
    const auto outcome = run.Go();
    ++pointsTried[std::string(Name(op)) + " then Remove"];
    ExpectFailureReported(run, outcome, op, nth);
    if (HasFatalFailure()) return;
    const auto& failure = run.owner.failed.front();
    ExpectOnlyCompleteCards(run, clean, failure.saved, Printable(failure.file.filename()));
    ExpectSourceUntouched(run, source->bytes);
    ExpectStoppedAtFailure(run);
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

std::vector<Case> Cases(std::initializer_list<Operation> ops) {
  std::vector<Case> cases;
  for (const auto& source : SourceNames())
    for (auto op : ops) cases.push_back({source, op});
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
                                                    Operation::Create, Operation::Write, Operation::Close})),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(AllPoints, IdentityUnknown, ::testing::ValuesIn(SourceNames()),
                         [](const auto& param) { return Identifier(param.param); });
INSTANTIATE_TEST_SUITE_P(AllPoints, CleanupFailsToo,
                         ::testing::ValuesIn(Cases({Operation::Write, Operation::Close})), CaseName);

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
