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

// One run: hands each card the scanner finishes to the writer (or each
// part of a large one to the card writer, once every card before it is on
// disk), reports every line, and stops when asked. Every outcome is
// counted by the writer, in card order.
class Run final : public LineSink {
 public:
  // batches: where the cards go first, to come back as batches, if at all.
  // list: the cards are named and listed, not written.
  Run(RunOwner& owner, CardScanner& scanner, CardWriter& cards, ParallelWriter& writer, CardBatches* batches,
      bool list)
      : owner_(owner), scanner_(scanner), cards_(cards), writer_(writer), batches_(batches), list_(list) {}

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
    if (!inParts_) {
      // Written here, after every card before it.
      writer_.WaitForAll();
      if (writer_.Failed()) return false;
      inParts_ = true;
    }
    if (auto failure = cards_.Part(part)) {
      inParts_ = false;
      writer_.Record(handed_ + 1, std::move(failure));
      return false;
    }
    return KeepGoing();
  }

  std::uint64_t Saved() const { return writer_.Saved(); }

  // Cards land between lines too, and while a read waits.
  void ReportSaved() {
    if (const auto saved = writer_.Saved(); saved != reported_) {
      reported_ = saved;
      owner_.Progress(saved);
    }
  }

  bool KeepGoing() {
    if (writer_.Failed()) return false;
    ReportSaved();
    if (!owner_.KeepGoing()) stopped_ = true;
    return !stopped_;
  }

  bool Stopped() const { return stopped_; }

 private:
  std::span<const std::byte> Card() const { return batches_ ? batches_->Batch() : scanner_.Card(); }
  void ClearCard() { batches_ ? batches_->ClearBatch() : scanner_.ClearCard(); }

  bool SaveCard() {
    const std::uint64_t number = ++handed_;
    if (!inParts_ && !list_) return writer_.Save(number, cards_.NameNext(Card()), Card());
    inParts_ = false;
    auto failure = cards_.Save(Card());
    const bool saved = !failure;
    writer_.Record(number, std::move(failure));
    return saved;
  }

  RunOwner& owner_;
  CardScanner& scanner_;
  CardWriter& cards_;
  ParallelWriter& writer_;
  CardBatches* batches_;
  const bool list_;
  std::uint64_t handed_ = 0;    // cards handed to the writer
  std::uint64_t reported_ = 0;  // the count the owner last heard of
  bool inParts_ = false;        // a large card is being written by the card writer
  bool stopped_ = false;
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
                 FileSystem& files, std::optional<CardWriter>& cards, std::optional<ParallelWriter>& writer,
                 BatchCounts& counts) {
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
  cards.emplace(folder, files, guard, request.naming, list);
  writer.emplace(files, guard, list ? 1 : request.jobs);
  const bool batched = request.batches.Any() && !list;
  CardBatches batches(request.batches, request.largeCardBytes, scanner, owner, counts);
  Run run(owner, scanner, *cards, *writer, batched ? &batches : nullptr, list != nullptr);
  batches.SendTo(run);
  LineSink& sink = batched ? static_cast<LineSink&>(batches) : run;
  std::vector<std::byte> block(kReadBlock);
  bool ended = false;
  // A stop is looked for before every read too, so a long line outside any
  // card, or a pipe that keeps the read waiting, cannot hold it up.
  while (!ended && run.KeepGoing()) {
    const std::size_t got = source->Read(block, error);
    if (error) break;
    if (got == SourceFile::kNothingYet) {
      // The cards read so far are written while a pipe keeps the read
      // waiting, rather than when more follow.
      writer->Flush();
      continue;
    }
    if (got == 0) {
      if (scanner.Finish(sink) && batched) batches.Finish();
      ended = true;
    } else {
      ended = !scanner.Feed({block.data(), got}, sink);
    }
  }
  // Whatever ended the run inside a card, nothing of that card may stay.
  auto discarded = cards->Discard();
  // Every card handed over is written, even after a stop; a card
  // that failed before the read did comes first.
  auto failure = writer->Finish();
  if (failure && writer->Thrown()) std::rethrow_exception(writer->Thrown());
  if (!failure && error) failure = RunFailure{FailedStep::ReadSource, sourceFile, error->reason, 0};
  if (!failure && discarded) failure = std::move(discarded);
  if (failure) {
    failure->saved = run.Saved();
    return ending.Failed(*failure);
  }
  if (run.Stopped()) {
    // Cards still being written when the stop came have landed since.
    run.ReportSaved();
    return ending.Stopped();
  }
  ending.Finished({run.Saved(), cards->Folder(), scanner.InsideCard(), scanner.Statistics()});
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
  std::optional<CardWriter> cards;
  std::optional<ParallelWriter> writer;
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
    SplitSource(sourceFile, folder, request, list, told, ending, files, cards, writer, counts);
  } catch (...) {
    // Anything thrown (memory running out above all) ends the run as a
    // failure that says so, with nothing partial left behind.
    RunFailure failure{FailedStep::Unexpected, sourceFile, ReasonOf(std::current_exception()), 0};
    try {
      if (cards) cards->Discard();
      // Cards whose files were made land or, after a failed one, go; the
      // count is then theirs.
      if (writer) {
        writer->Finish();
        failure.saved = writer->Saved();
      }
    } catch (...) {
      // Nothing more can be done about it here.
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
