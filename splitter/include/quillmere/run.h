#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "quillmere/file_system.h"
#include "quillmere/native_text.h"
#include "quillmere/scan_statistics.h"

namespace quillmere {

// Where a run failed.
enum class FailedStep {
  OpenSource,
  ReadSource,
  CreateOutput,
  WriteOutput,
  OutputIsSource,  // the next output file is the source itself
  // The partly written file of a card too large to hold could not be
  // removed when the source ended inside the card or the run stopped.
  RemoveTemporary,
  // Anything else that went wrong (memory ran out): the file is the source.
  Unexpected,
};

struct RunFailure {
  FailedStep step;
  std::filesystem::path file;
  NativeString reason;
  std::uint64_t saved = 0;  // cards written completely before the failure
  // With batches: the files those cards fill, so the failed one is the next.
  std::optional<std::uint64_t> files{};
};

struct RunSummary {
  std::uint64_t saved = 0;
  NativeString folder;              // as the files were named: ends in a separator
  bool unfinishedLastCard = false;  // the source ended inside a card
  // The source's shape: line ends, nesting, stray END lines, where the
  // unfinished card begins (statistics.unfinishedCardLine), whether any
  // BEGIN line was seen at all (statistics.anyBeginLine).
  ScanStatistics statistics;
  std::optional<std::uint64_t> files{};  // with batches: the files the cards went into
};

// How a run ended. An owner that heard none of Finished, Failed and
// Stopped was never started (an empty folder: the user cancelled).
enum class RunOutcome { NotStarted, Finished, Failed, Stopped };

// The window or the command-line tool that started a run. Calls come from
// the thread that runs the split.
//
// The outcome travels one way only: a run returns nothing, and tells its
// owner exactly one of Finished, Failed or Stopped, last. Both callers
// already keep what the run tells them for after it (the window between its
// worker thread and its message loop), so this asks least of them, and a
// test's owner can check that a run ended exactly once.
class RunOwner {
 public:
  virtual ~RunOwner() = default;
  // After every line read: the number of cards saved so far.
  virtual void Progress(std::uint64_t saved) = 0;
  // After `lines` lines in a row that saved no card: the same as as many
  // Progress(saved) calls, which an owner may take as one.
  virtual void ProgressLines(std::uint64_t saved, std::uint64_t lines) {
    for (; lines > 0; --lines) Progress(saved);
  }
  // Asked after every line, before every read of the source (also while a
  // read waits on a pipe) and between the parts of a large card being
  // written, never between creating a file and writing a held card. False
  // stops the run: only whole cards are left, and Stopped follows (or, when
  // a partly written file then cannot be removed, Failed; with several
  // writers, once the cards being written have landed, one Progress with
  // the final count comes first).
  virtual bool KeepGoing() = 0;
  virtual void Finished(const RunSummary& summary) = 0;
  virtual void Failed(const RunFailure& failure) = 0;
  // The run stopped because KeepGoing said no.
  virtual void Stopped() = 0;
  // With a byte limit on batches: card `card` (from 1) is `bytes` long,
  // more than the limit, and goes alone into file number `file`.
  virtual void CardOverLimit(std::uint64_t card, std::uint64_t bytes, std::uint64_t file) {
    (void)card, (void)bytes, (void)file;
  }
};

// Receives the file names a split would give, for a check that writes
// nothing.
class NameList {
 public:
  virtual ~NameList() = default;
  // number: the card's place in the source, from 1.
  virtual void Named(std::uint64_t number, const NativeString& fileName) = 0;
};

// How a run names the files it writes.
enum class FileNaming {
  Numbered,  // vCard1.vcf, vCard2.vcf, … in source order
  Contacts,  // after each card's contact: "Jane Doe.vcf", "Jane Doe (2).vcf", …
};

// Several cards to a file: a file closes when it holds `cards` cards or
// when the next card would take it past `bytes` bytes, whichever comes
// first; 0 is no limit. A card larger than `bytes` goes alone. Files are
// numbered; each is framed as a one-card file (the source's mark once, at
// its start), the cards in source order after one another.
struct BatchLimits {
  std::uint64_t cards = 0;
  std::uint64_t bytes = 0;
  bool Any() const { return cards > 0 || bytes > 0; }
};

// What a run is asked to do. The fields are named so that no caller can
// hand over the folder for the source or the other way round.
struct SplitRequest {
  NativeString source;  // the vCard file to split
  // Where the files go, as the folder chooser returned it. Empty: nothing to
  // do (the user cancelled). A trailing separator is added if it has none.
  NativeString folder;
  // The window's source path comes from a dialog and may carry spaces that
  // are no part of the name; a path typed on a command line is exact.
  bool trimSourceSpaces = false;
  // Read the process's standard input instead of a named file; `source` is
  // then only the name used in failures.
  bool sourceIsStandardInput = false;
  // A card larger than this is not held in memory but written as it is
  // read, to a temporary file that takes the card's name at its END line.
  std::size_t largeCardBytes = std::size_t{4} << 20;
  // How many cards may be written at once. The window writes one file at a
  // time; quillmere-split writes several, overlapping their creation.
  unsigned jobs = 1;
  FileNaming naming = FileNaming::Numbered;
  // Cards to a file; none: one card a file. Batches are always numbered.
  BatchLimits batches{};
  // Files the caller's own messages go to (the command line's standard
  // output and error): never written over, as the source is not.
  std::vector<FileId> messageFiles = {};
};

}  // namespace quillmere
