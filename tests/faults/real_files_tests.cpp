// Failures of the real file system, natively and (built for Windows) under
// Wine: a read-only destination, a destination removed or a source deleted
// during a run, a disk that fills up, and the source picked inside the
// destination under an output file's name.
#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <set>
#include <string>
#include <thread>

#include "card_model.h"
#include "memory_files.h"
#include "parallel_writer.h"
#include "quillmere/splitter.h"
#include "recording_owner.h"
#include "sample_sources.h"
#include "scratch_folder.h"

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

// A fresh folder of the test's own, in the build's folder for these tests.
class Scratch : public ScratchFolder {
 public:
  Scratch()
      : ScratchFolder(
            "faults",
            FolderFromEnvironment("QUILLMERE_FAULTS_DIR").value_or(fs::temp_directory_path()) / "scratch") {}
};

RunOutcome Split(const fs::path& folder, const fs::path& source, RecordingOwner& owner) {
  return RecordedSplit({.source = source.native(), .folder = folder.native(), .jobs = TestJobs()}, owner);
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
#ifdef _WIN32
  if (TestJobs() > 1) {
    GTEST_SKIP() << "Windows will not remove a folder while other writers hold files open in it";
  }
#endif
  Scratch scratch;
  const auto folder = scratch.Path() / "out";
  fs::create_directories(folder);
  const auto source = scratch.Path() / "contacts.vcf";
  // Several writers run ahead of the count (by up to a flight of cards):
  // enough cards that some are still to come when the folder goes.
  const std::string text = PlainCards(TestJobs() == 1 ? 20 : 2000);
  WriteWholeFile(source, text);
  RecordingOwner owner;
  owner.OnceSaved(5, [&] {
    // Moved away first, in one step: other writers may still be creating
    // files in it, which would make removing it in place fail as not empty.
    // A create already under way may still land in the moved folder, so its
    // removal is tried again.
    std::error_code error;
    const auto gone = scratch.Path() / "gone";
    fs::rename(folder, gone, error);
    for (int tries = 0; !error && fs::exists(gone) && tries < 50; ++tries) {
      fs::remove_all(gone, error);
      if (error == std::errc::directory_not_empty) error.clear();
    }
    ASSERT_FALSE(error) << "could not remove the folder: " << error.message();
  });
  const auto outcome = Split(folder, source, owner);
  ExpectFailure(owner, outcome, {FailedStep::CreateOutput, FailedStep::WriteOutput});
  if (HasFatalFailure()) return;
  const auto& failure = owner.failed.front();
  if (TestJobs() == 1) {
    EXPECT_EQ(failure.saved, 5u);
  } else {
    EXPECT_GE(failure.saved, 5u);
  }
  EXPECT_EQ(failure.file.filename(), OutputName(failure.saved + 1));
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
  const std::string disk = TestJobs() == 1 ? "full" : "full" + std::to_string(TestJobs());
  if (!faults || !fs::exists(*faults / "disks" / (disk + ".mounted")))
    GTEST_SKIP() << "no small disk mounted: mounting a 256 KiB tmpfs needs root (ctest does it "
                    "through tests/faults/small_disks.sh)";
  Scratch scratch;
  const auto folder = *faults / "disks" / disk / "out";
  fs::remove_all(folder);
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
    // With several writers a later batch may take the space first and the
    // first card be the one that fails; those later cards are then removed.
    if (TestJobs() == 1) {
      EXPECT_GT(saved, 0u);
    }
    EXPECT_LT(saved, 60u);
    EXPECT_EQ(owner.failed.front().file.filename(), OutputName(saved + 1));
    ExpectCompleteCards(folder, model::SplitWholeFile(text), saved);
  }
  EXPECT_EQ(ReadWholeFile(source), text);
  fs::remove_all(folder);
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

// Whatever else has an output file's name in the folder (a symbolic link to
// a file elsewhere, a dangling link, a link to a folder, a FIFO, a device) is
// replaced by a new file holding the card, and nothing is ever written
// through it. Cards held whole and cards written as they are read (renamed
// over the name at their END line) alike.
enum class Occupant { LinkToAFile, DanglingLink, LinkToAFolder, Fifo, FifoWithAReader, Device };

std::string OccupantName(Occupant occupant) {
  switch (occupant) {
    case Occupant::LinkToAFile:
      return "LinkToAFile";
    case Occupant::DanglingLink:
      return "DanglingLink";
    case Occupant::LinkToAFolder:
      return "LinkToAFolder";
    case Occupant::Fifo:
      return "Fifo";
    case Occupant::FifoWithAReader:
      return "FifoWithAReader";
    case Occupant::Device:
      return "Device";
  }
  return "?";
}

struct OccupiedName {
  Occupant occupant;
  bool largeCards;
};

class OutputNameTaken : public ::testing::TestWithParam<OccupiedName> {};

TEST_P(OutputNameTaken, ByAnythingButAFileIsReplacedAndNeverWrittenThrough) {
  Scratch scratch;
  const auto folder = scratch.Path() / "out";
  fs::create_directories(folder);
  const auto victim = scratch.Path() / "victim.txt";
  const auto victimFolder = scratch.Path() / "victim-folder";
  fs::create_directories(victimFolder);
  WriteWholeFile(victim, "not a card");
  const auto name = folder / OutputName(2);
  std::error_code error;
  [[maybe_unused]] int reader = -1;
  switch (GetParam().occupant) {
    case Occupant::LinkToAFile:
      fs::create_symlink(victim, name, error);
      break;
    case Occupant::DanglingLink:
      fs::create_symlink(scratch.Path() / "nowhere.txt", name, error);
      break;
    case Occupant::LinkToAFolder:
      fs::create_directory_symlink(victimFolder, name, error);
      break;
    case Occupant::Fifo:
    case Occupant::FifoWithAReader:
    case Occupant::Device:
#ifdef _WIN32
      GTEST_SKIP() << "Windows has no FIFOs or device nodes in a folder";
#else
      if (GetParam().occupant == Occupant::Device) {
        // The same device as /dev/null; making one needs root.
        if (::mknod(name.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
          GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
      } else if (::mkfifo(name.c_str(), 0666) != 0) {
        GTEST_FAIL() << "mkfifo: " << std::strerror(errno);
      }
      if (GetParam().occupant == Occupant::FifoWithAReader)
        reader = ::open(name.c_str(), O_RDONLY | O_NONBLOCK);
#endif
      break;
  }
  if (error) GTEST_SKIP() << "this file system makes no such links: " << error.message();
  const auto source = scratch.Path() / "contacts.vcf";
  const std::string text = PlainCards(3, "\r\n", 200);
  WriteWholeFile(source, text);
  RecordingOwner owner;
  const std::size_t hold = GetParam().largeCards ? 64 : SplitRequest{}.largeCardBytes;
  const auto outcome = RecordedSplit(
      {.source = source.native(), .folder = folder.native(), .largeCardBytes = hold, .jobs = TestJobs()},
      owner);
  ASSERT_EQ(outcome, RunOutcome::Finished) << Printable(owner.Failure().reason);
  EXPECT_EQ(ReadWholeFile(victim), "not a card") << "written through the link";
  EXPECT_TRUE(fs::is_empty(victimFolder)) << "a file was made in the folder the link leads to";
  EXPECT_FALSE(fs::exists(scratch.Path() / "nowhere.txt")) << "the dangling link's target was made";
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(name))) << "the name is not a plain file now";
  ExpectCompleteCards(folder, model::SplitWholeFile(text), 3);
#ifndef _WIN32
  if (reader >= 0) {
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "the card went to the FIFO's reader";
    ::close(reader);
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(RealFiles, OutputNameTaken, ::testing::ValuesIn([] {
                           std::vector<OccupiedName> cases;
                           for (auto o :
                                {Occupant::LinkToAFile, Occupant::DanglingLink, Occupant::LinkToAFolder,
                                 Occupant::Fifo, Occupant::FifoWithAReader, Occupant::Device})
                             for (bool large : {false, true}) cases.push_back({o, large});
                           return cases;
                         }()),
                         [](const auto& param) {
                           return OccupantName(param.param.occupant) +
                                  (param.param.largeCards ? "_LargeCards" : "");
                         });

// A folder of an output file's name stops the run there, as any file that
// cannot be created does, and is left as it was.
class OutputNameIsAFolder : public ::testing::TestWithParam<bool> {};

TEST_P(OutputNameIsAFolder, StopsTheRunWithTheCreateFailure) {
  Scratch scratch;
  const auto folder = scratch.Path() / "out";
  fs::create_directories(folder / OutputName(2) / "inside");
  const auto source = scratch.Path() / "contacts.vcf";
  const std::string text = PlainCards(3, "\r\n", 200);
  WriteWholeFile(source, text);
  RecordingOwner owner;
  const std::size_t hold = GetParam() ? 64 : SplitRequest{}.largeCardBytes;
  const auto outcome = RecordedSplit(
      {.source = source.native(), .folder = folder.native(), .largeCardBytes = hold, .jobs = TestJobs()},
      owner);
  ExpectFailure(owner, outcome, {FailedStep::CreateOutput});
  if (HasFatalFailure()) return;
  EXPECT_EQ(owner.failed.front().saved, 1u);
  EXPECT_EQ(owner.failed.front().file.filename(), OutputName(2));
  EXPECT_TRUE(fs::is_directory(folder / OutputName(2) / "inside")) << "the folder was touched";
  ExpectCompleteCards(folder, model::SplitWholeFile(text), 1, {Printable(OutputName(2))});
}

INSTANTIATE_TEST_SUITE_P(RealFiles, OutputNameIsAFolder, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "LargeCards" : "CardsHeld"; });

// A card far larger than the hold limit, on a real disk: written as it is
// read to a temporary file that becomes vCard1.vcf, byte for byte, with no
// temporary file left.
TEST(RealFiles, CardTooLargeToHoldIsWrittenWholeUnderItsName) {
  Scratch scratch;
  const auto folder = scratch.Path() / "out";
  fs::create_directories(folder);
  const auto source = scratch.Path() / "contacts.vcf";
  std::string text = "BEGIN:VCARD\r\nPHOTO;ENCODING=b:\r\n";
  for (int i = 0; i < 20000; ++i)
    text += " QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5eg==\r\n";
  text += "END:VCARD\r\n" + PlainCards(2);
  WriteWholeFile(source, text);
  RecordingOwner owner;
  const auto outcome = RecordedSplit(
      {.source = source.native(), .folder = folder.native(), .largeCardBytes = 1 << 16, .jobs = TestJobs()},
      owner);
  ASSERT_EQ(outcome, RunOutcome::Finished);
  ExpectCompleteCards(folder, model::SplitWholeFile(text), 3);
}

// An owner that a test stops from another thread, as the window's Exit
// does; it keeps the count for the test to watch.
class StoppableOwner final : public RunOwner {
 public:
  explicit StoppableOwner(std::atomic<bool>& stop) : stop_(stop) {}
  void Progress(std::uint64_t count) override { saved = count; }
  bool KeepGoing() override { return !stop_.load(); }
  void Finished(const RunSummary& summary) override {
    finishedSaved = summary.saved;
    ended = true;
    outcome = RunOutcome::Finished;
  }
  void Failed(const RunFailure&) override {
    ended = true;
    outcome = RunOutcome::Failed;
  }
  void Stopped() override { outcome = RunOutcome::Stopped; }
  std::atomic<std::uint64_t> saved{0};
  std::uint64_t finishedSaved = 0;
  bool ended = false;  // finished or failed
  RunOutcome outcome = RunOutcome::NotStarted;

 private:
  std::atomic<bool>& stop_;
};

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

#ifdef _WIN32
// A named pipe as the source: its writer may keep a read waiting. The stop
// lands while it waits; once the writer closes, the run ends as at the end
// of a file.
TEST(RealFiles, PipeSourceIsReadAsItComesAndAStopLandsWhileItWaits) {
  for (bool stopWhileWaiting : {true, false}) {
    SCOPED_TRACE(stopWhileWaiting ? "stopped while the writer is silent" : "the writer closes");
    const std::wstring name = L"\\\\.\\pipe\\quillmere-source-" + std::to_wstring(GetCurrentProcessId()) +
                              (stopWhileWaiting ? L"-stop" : L"-end");
    const HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                           1 << 16, 1 << 16, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE) << "CreateNamedPipeW: " << GetLastError();
    Scratch scratch;
    const auto folder = scratch.Path() / "out";
    fs::create_directories(folder);
    std::atomic<bool> stop{false};
    StoppableOwner owner(stop);
    auto run = std::async(std::launch::async,
                          [&] { SplitCards({.source = name, .folder = folder.native()}, owner); });
    if (!ConnectNamedPipe(server, nullptr)) {
      ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_CONNECTED));
    }
    const std::string cards = PlainCards(2);
    DWORD put = 0;
    ASSERT_TRUE(WriteFile(server, cards.data(), static_cast<DWORD>(cards.size()), &put, nullptr));
    EXPECT_TRUE(WaitFor([&] { return owner.saved.load() == 2; })) << "the cards written were not saved";
    if (stopWhileWaiting) {
      stop = true;
    } else {
      CloseHandle(server);
    }
    const bool ended = run.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (stopWhileWaiting) CloseHandle(server);  // lets a run that missed the stop end
    ASSERT_TRUE(ended) << "the run did not end";
    run.get();
    EXPECT_EQ(owner.outcome, stopWhileWaiting ? RunOutcome::Stopped : RunOutcome::Finished);
    if (!stopWhileWaiting) {
      EXPECT_EQ(owner.finishedSaved, 2u);
    }
    ExpectCompleteCards(folder, model::SplitWholeFile(cards), 2);
  }
}
#endif

#ifndef _WIN32
// Opens the FIFO for writing once the run has opened it for reading; -1 if
// that does not happen within a few seconds.
int OpenFifoWriter(const fs::path& fifo) {
  for (int i = 0; i < 500; ++i) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

// A source that keeps a read waiting (a FIFO nobody writes to, or whose
// writer is silent) cannot hold up a stop.
TEST(RealFiles, StopLandsWhileAFifoSourceWaitsForItsWriter) {
  for (bool withWriter : {false, true}) {
    SCOPED_TRACE(withWriter ? "a silent writer after two cards" : "no writer at all");
    Scratch scratch;
    const auto folder = scratch.Path() / "out";
    fs::create_directories(folder);
    const auto fifo = scratch.Path() / "contacts.vcf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0) << std::strerror(errno);
    std::atomic<bool> stop{false};
    StoppableOwner owner(stop);
    auto run = std::async(std::launch::async, [&] {
      SplitCards({.source = fifo.native(), .folder = folder.native(), .jobs = TestJobs()}, owner);
    });
    int writer = -1;
    if (withWriter) {
      writer = OpenFifoWriter(fifo);
      ASSERT_GE(writer, 0) << "the run never opened the FIFO";
      const std::string cards = PlainCards(2);
      ASSERT_EQ(::write(writer, cards.data(), cards.size()), static_cast<ssize_t>(cards.size()));
      EXPECT_TRUE(WaitFor([&] { return owner.saved.load() == 2; })) << "the cards written were not saved";
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    stop = true;
    // A generous bound, only so that a run that never stops fails rather than hangs.
    const bool stopped = run.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!stopped && writer < 0) writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
    ASSERT_TRUE(stopped) << "the run did not see the stop while its read waited";
    run.get();
    EXPECT_EQ(owner.outcome, RunOutcome::Stopped);
    EXPECT_FALSE(owner.ended);
    ExpectCompleteCards(folder, model::SplitWholeFile(PlainCards(2)), withWriter ? 2 : 0);
  }
}

TEST(RealFiles, FifoSourceIsReadToItsEnd) {
  Scratch scratch;
  const auto folder = scratch.Path() / "out";
  fs::create_directories(folder);
  const auto fifo = scratch.Path() / "contacts.vcf";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0) << std::strerror(errno);
  const std::string text = PlainCards(300, "\r\n", 1000);
  auto writer = std::async(std::launch::async, [&] {
    const int fd = OpenFifoWriter(fifo);
    if (fd < 0) return;
    std::size_t at = 0;
    while (at < text.size()) {
      // Slow, uneven writes: the run must wait for each, not take a pause for the end.
      const auto put = ::write(fd, text.data() + at, std::min<std::size_t>(text.size() - at, 70000));
      if (put <= 0) break;
      at += static_cast<std::size_t>(put);
      std::this_thread::sleep_for(std::chrono::milliseconds(at % 3 == 0 ? 30 : 1));
    }
    ::close(fd);
  });
  RecordingOwner owner;
  const auto outcome =
      RecordedSplit({.source = fifo.native(), .folder = folder.native(), .jobs = TestJobs()}, owner);
  writer.get();
  ASSERT_EQ(outcome, RunOutcome::Finished);
  EXPECT_EQ(owner.Summary().saved, 300u);
  ExpectCompleteCards(folder, model::SplitWholeFile(text), 300);
}
#endif

#ifdef __linux__
std::size_t OpenFileTableSize() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("FDSize:", 0) == 0) return std::stoul(line.substr(7));
  return 0;
}

// Runs the check in a child: it starts with a table of open files just large
// enough for what it inherited, and its limits are its own. Exit status 0 is
// a pass, 2 a skip.
int InChild(const std::function<int()>& check) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(check());
  int status = 1;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 1;
  return WEXITSTATUS(status);
}

// Growing the table while the writers share it stalls the thread that makes
// the files for a grace period each time: a third of a small source's run.
TEST(RealFiles, WritersGrowTheOpenFileTableBeforeTheyStart) {
  const int result = InChild([] {
    const std::size_t held = (ParallelWriter::kMaxBatches + 1) * ParallelWriter::kBatchCards;
    if (OpenFileTableSize() > held) return 2;
    ParallelWriter writer(SystemFiles(), std::nullopt, 2);
    return OpenFileTableSize() > held ? 0 : 1;
  });
  if (result == 2) GTEST_SKIP() << "the table of open files starts large here";
  EXPECT_EQ(result, 0) << "the table was not grown before the writers started";
}

// Writers holding more files open than `ulimit -n` allows, counting those
// the parent handed down, failed a run that one writer finishes.
TEST(RealFiles, LowOpenFileLimitStillSavesEveryCard) {
  Scratch scratch;
  const auto source = scratch.Path() / "contacts.vcf";
  WriteWholeFile(source, PlainCards(3000));
  struct Limit {
    rlim_t allowed;
    int handedDown;
  };
  for (const Limit limit : {Limit{40, 0}, Limit{100, 0}, Limit{200, 0}, Limit{128, 60}}) {
    const std::string name = std::to_string(limit.allowed) + "-" + std::to_string(limit.handedDown);
    const auto folder = scratch.Path() / ("limit" + name);
    fs::create_directory(folder);
    const int result = InChild([&] {
      const rlimit set{limit.allowed, limit.allowed};
      if (::setrlimit(RLIMIT_NOFILE, &set) != 0) return 2;
      for (int i = 0; i < limit.handedDown; ++i)
        if (::open("/dev/null", O_RDONLY) < 0) return 2;
      RecordingOwner owner;
      const auto outcome =
          RecordedSplit({.source = source.native(), .folder = folder.native(), .jobs = 4}, owner);
      return outcome == RunOutcome::Finished && owner.Summary().saved == 3000 ? 0 : 1;
    });
    EXPECT_EQ(result, 0) << "open files limited to " << name;
    EXPECT_EQ(FileNames(folder).size(), 3000u) << "open files limited to " << name;
  }
}
#endif

}  // namespace
}  // namespace quillmere::testing
