#include "quillmere/splitter.h"

#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "card_batches.h"
#include "card_writer.h"
#include "parallel_writer.h"
#include "quillmere/card_scanner.h"

namespace quillmere {
namespace {

// Large enough that reading costs little next to creating the files, small
// enough that memory stays flat.
constexpr std::size_t kReadBlock = std::size_t{256} << 10;

NativeString TrimSpaces(const NativeString& text) {
  const auto first = text.find_first_not_of(NativeChar{' '});
  if (first == NativeString::npos) return {};
  const auto last = text.find_last_not_of(NativeChar{' '});
  return text.substr(first, last - first + 1);
}

// One run: hands each card the scanner finishes (or each part of a large
// one) to the writer, reports every line, and stops when asked.
//
// With several writers (parallel set), a card held whole goes to them, and
// a card too large to hold is written by the run itself once every card
// before it is on disk; all outcomes are counted by the parallel writer.
class Run final : public LineSink {
 public:
  // batches: where the cards go first, to come back as batches, if at all.
  Run(RunOwner& owner, CardScanner& scanner, CardWriter& writer, ParallelWriter* parallel,
      CardBatches* batches)
      : owner_(owner), scanner_(scanner), writer_(writer), parallel_(parallel), batches_(batches) {}

  bool LineEnded(bool cardDone) override {
    if (cardDone) {
      if (!SaveCard()) return false;
      ClearCard();
    }
    reported_ = Saved();
    owner_.Progress(reported_);
    return KeepGoing();
  }

  bool LinesEnded(std::uint64_t lines) override {
    reported_ = Saved();
    owner_.ProgressLines(reported_, lines);
    return KeepGoing();
  }

  bool CardPart(std::span<const std::byte> part) override {
    if (parallel_ && !inParts_) {
      // Written by the run itself, after every card before it.
      parallel_->WaitForAll();
      if (parallel_->Failed()) return false;
      writer_.ContinueFrom(handed_);
      inParts_ = true;
    }
    return Succeeded(writer_.Part(part)) && KeepGoing();
  }

  std::uint64_t Saved() const { return parallel_ ? parallel_->Saved() : writer_.Saved(); }

  bool KeepGoing() {
    if (parallel_) {
      if (parallel_->Failed()) return false;
      // Cards land between lines too, and while a read waits.
      if (const auto saved = parallel_->Saved(); saved != reported_) {
        reported_ = saved;
        owner_.Progress(saved);
      }
    }
    if (!owner_.KeepGoing()) stopped_ = true;
    return !stopped_;
  }

  bool Stopped() const { return stopped_; }
  const std::optional<RunFailure>& Failure() const { return failure_; }

 private:
  std::span<const std::byte> Card() const { return batches_ ? batches_->Batch() : scanner_.Card(); }
  void ClearCard() { batches_ ? batches_->ClearBatch() : scanner_.ClearCard(); }

  bool SaveCard() {
    if (!parallel_) return Succeeded(writer_.Save(Card()));
    const std::uint64_t number = ++handed_;
    if (!inParts_) return parallel_->Save(number, writer_.NameNext(Card()), Card());
    inParts_ = false;
    return Succeeded(writer_.Save(Card()));
  }

  // With several writers every outcome is counted by them, in card order.
  bool Succeeded(std::optional<RunFailure> failure) {
    if (parallel_) {
      const std::uint64_t number = inParts_ ? handed_ + 1 : handed_;
      if (failure || !inParts_)
        parallel_->Record(number, failure ? failure->file : writer_.LastPath(), failure);
      if (failure) inParts_ = false;
      return !failure;
    }
    if (!failure) return true;
    failure_ = std::move(failure);
    return false;
  }

  RunOwner& owner_;
  CardScanner& scanner_;
  CardWriter& writer_;
  ParallelWriter* parallel_;
  CardBatches* batches_;
  std::uint64_t handed_ = 0;    // cards handed to the writers
  std::uint64_t reported_ = 0;  // the count the owner last heard of
  bool inParts_ = false;        // a large card is being written by the run
  bool stopped_ = false;
  std::optional<RunFailure> failure_;
};

// The source's identity, which every output name is checked against before
// it is opened, unless no output can be the source: the folder starts out
// empty (so holds no link to the source either), the source lies elsewhere
// and has no other names. Skipping the check saves a file-system call per
// card in the common case of a fresh folder.
std::optional<FileId> OverwriteGuard(const SourceFile& source, const std::filesystem::path& sourceFile,
                                     const NativeString& folder, FileSystem& files) {
  const std::filesystem::path parent = sourceFile.has_parent_path() ? sourceFile.parent_path() : ".";
  const bool cannotMeet =
      files.IsEmptyFolder(folder) && !source.MayHaveOtherNames() && files.IdOf(parent) != files.IdOf(folder);
  if (cannotMeet) return std::nullopt;
  return source.Id();
}

// Tells the owner how the run ended, and remembers that it has: once an
// owner has taken the end, nothing thrown after it is told as a second
// one. An owner that throws while taking it (running out of memory) is
// told the failure instead, as for anything else thrown.
class Ending {
 public:
  explicit Ending(RunOwner& owner) : owner_(owner) {}
  bool Told() const { return told_; }
  void Failed(const RunFailure& failure) {
    owner_.Failed(failure);
    told_ = true;
  }
  void Finished(const RunSummary& summary) {
    owner_.Finished(summary);
    told_ = true;
  }
  void Stopped() {
    owner_.Stopped();
    told_ = true;
  }

 private:
  RunOwner& owner_;
  bool told_ = false;
};

// The run once its folder is known: open, read, split, report. With a list,
// the cards are named, not written.
void SplitSource(const std::filesystem::path& sourceFile, const NativeString& folder,
                 const SplitRequest& request, NameList* list, RunOwner& owner, Ending& ending,
                 FileSystem& files, std::optional<CardWriter>& writer,
                 std::optional<ParallelWriter>& parallel, BatchCounts& counts) {
  std::optional<IoError> error;
  const auto source =
      request.sourceIsStandardInput ? files.OpenStandardInput(error) : files.OpenSource(sourceFile, error);
  if (!source) {
    ending.Failed({FailedStep::OpenSource, sourceFile, error ? error->reason : NativeString{}, 0});
    return;
  }

  CardScanner scanner(request.largeCardBytes);
  // Standard input has no folder of its own to rule out; when it is a file,
  // any output name could be it. A list of names writes nothing to guard.
  OutputGuard guard;
  if (!list) {
    guard = request.sourceIsStandardInput ? std::optional<FileId>(source->Id())
                                          : OverwriteGuard(*source, sourceFile, folder, files);
    // Where the source cannot meet an output, nothing in the folder can be
    // a file the messages go to either: the folder started out empty.
    if (guard) guard.messages = request.messageFiles;
  }
  writer.emplace(folder, files, guard, request.naming, list);
  if (request.jobs > 1 && !list) parallel.emplace(files, guard, request.jobs);
  const bool batched = request.batches.Any() && !list;
  CardBatches batches(request.batches, request.largeCardBytes, scanner, owner, counts);
  Run run(owner, scanner, *writer, parallel ? &*parallel : nullptr, batched ? &batches : nullptr);
  batches.SendTo(run);
  LineSink& sink = batched ? static_cast<LineSink&>(batches) : run;
  std::vector<std::byte> block(kReadBlock);
  bool ended = false;
  bool reachedEnd = false;
  // A stop is looked for before every read too, so a long line outside any
  // card, or a pipe that keeps the read waiting, cannot hold it up.
  while (!ended && run.KeepGoing()) {
    const std::size_t got = source->Read(block, error);
    if (error) {
      writer->Discard();
      if (parallel) {
        // A card that failed before the read did comes first.
        if (auto failure = parallel->Finish(false)) {
          if (parallel->Thrown()) std::rethrow_exception(parallel->Thrown());
          ending.Failed(*failure);
          return;
        }
      }
      ending.Failed({FailedStep::ReadSource, sourceFile, error->reason, run.Saved()});
      return;
    }
    if (got == SourceFile::kNothingYet) continue;
    if (got == 0) {
      reachedEnd = scanner.Finish(sink) && (!batched || batches.Finish());
      ended = true;
    } else {
      ended = !scanner.Feed({block.data(), got}, sink);
    }
  }
  // Whatever ended the run inside a card, nothing of that card may stay.
  auto discarded = writer->Discard();
  // Every card handed over is written when the source was read to its end;
  // after a stop or a failure the cards not yet started are dropped.
  const auto parallelFailure = parallel ? parallel->Finish(reachedEnd && !run.Stopped()) : std::nullopt;
  if (parallelFailure && parallel->Thrown()) std::rethrow_exception(parallel->Thrown());
  if (run.Failure()) return ending.Failed(*run.Failure());
  if (parallelFailure) return ending.Failed(*parallelFailure);
  if (discarded) {
    discarded->saved = run.Saved();
    return ending.Failed(*discarded);
  }
  if (run.Stopped()) {
    // Cards still being written when the stop came have landed since.
    if (parallel) owner.Progress(run.Saved());
    return ending.Stopped();
  }
  ending.Finished({run.Saved(), writer->Folder(), scanner.InsideCard(), scanner.Statistics()});
}

NativeString ReasonOf(std::exception_ptr thrown) {
  try {
    std::rethrow_exception(thrown);
  } catch (const std::bad_alloc&) {
    return Native("There was not enough memory to go on.");
  } catch (const std::exception& e) {
    return Native(e.what());
  } catch (...) {
  }
  return Native("Something unexpected went wrong.");
}

// A split, or with a list, a listing of the names a split would give.
void SplitOrList(const SplitRequest& request, NameList* list, RunOwner& owner, FileSystem& files) {
  if (request.folder.empty() && !list) return;
  std::filesystem::path sourceFile;
  std::optional<CardWriter> writer;
  std::optional<ParallelWriter> parallel;
  // A batched run's writers count files; its owner is told cards.
  BatchCounts counts;
  BatchCountingOwner countingOwner(owner, counts);
  RunOwner& told = request.batches.Any() && !list ? countingOwner : owner;
  Ending ending(told);
  try {
    NativeString folder = request.folder;
    if (!folder.empty() && folder.back() != std::filesystem::path::preferred_separator) {
      folder += std::filesystem::path::preferred_separator;
    }
    sourceFile = request.trimSourceSpaces ? TrimSpaces(request.source) : request.source;
    SplitSource(sourceFile, folder, request, list, told, ending, files, writer, parallel, counts);
  } catch (...) {
    // Anything thrown (memory running out above all) ends the run as a
    // failure that says so, with nothing partial left behind.
    RunFailure failure{FailedStep::Unexpected, sourceFile, ReasonOf(std::current_exception()), 0};
    if (writer) {
      failure.saved = writer->Saved();
      try {
        writer->Discard();
        // Cards being written land or, after a failed one, go; the count
        // is then theirs.
        if (parallel) {
          parallel->Finish(false);
          failure.saved = parallel->Saved();
        }
      } catch (...) {
        // Nothing more can be done about it here.
      }
    }
    if (!ending.Told()) ending.Failed(failure);
  }
}

}  // namespace

void SplitCards(const SplitRequest& request, RunOwner& owner, FileSystem& files) {
  SplitOrList(request, nullptr, owner, files);
}

void ListFileNames(const SplitRequest& request, RunOwner& owner, NameList& list, FileSystem& files) {
  SplitOrList(request, &list, owner, files);
}

}  // namespace quillmere
