#include "splitter.h"

#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "card_scanner.h"
#include "card_writer.h"

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
class Run final : public LineSink {
 public:
  Run(RunOwner& owner, CardScanner& scanner, CardWriter& writer)
      : owner_(owner), scanner_(scanner), writer_(writer) {}

  bool LineEnded(bool cardDone) override {
    if (cardDone) {
      if (!Succeeded(writer_.Save(scanner_.Card()))) return false;
      scanner_.ClearCard();
    }
    owner_.Progress(writer_.Saved());
    return KeepGoing();
  }

  bool CardPart(std::span<const std::byte> part) override {
    return Succeeded(writer_.Part(part)) && KeepGoing();
  }

  bool KeepGoing() {
    if (!owner_.KeepGoing()) stopped_ = true;
    return !stopped_;
  }

  bool Stopped() const { return stopped_; }
  const std::optional<RunFailure>& Failure() const { return failure_; }

 private:
  bool Succeeded(std::optional<RunFailure> failure) {
    if (!failure) return true;
    failure_ = std::move(failure);
    return false;
  }

  RunOwner& owner_;
  CardScanner& scanner_;
  CardWriter& writer_;
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

// The run once its folder is known: open, read, split, report.
RunOutcome SplitSource(const std::filesystem::path& sourceFile, const NativeString& folder,
                       const SplitRequest& request, RunOwner& owner, FileSystem& files,
                       std::optional<CardWriter>& writer) {
  std::optional<IoError> error;
  const auto source = files.OpenSource(sourceFile, error);
  if (!source) {
    owner.Failed({FailedStep::OpenSource, sourceFile, error ? error->reason : NativeString{}, 0});
    return RunOutcome::Failed;
  }

  CardScanner scanner(request.largeCardBytes);
  writer.emplace(folder, files,
                 request.listOnly ? std::nullopt : OverwriteGuard(*source, sourceFile, folder, files),
                 request.naming, request.listOnly);
  Run run(owner, scanner, *writer);
  std::vector<std::byte> block(kReadBlock);
  bool ended = false;
  // A stop is looked for before every read too, so a long line outside any
  // card, or a pipe that keeps the read waiting, cannot hold it up.
  while (!ended && run.KeepGoing()) {
    const std::size_t got = source->Read(block, error);
    if (error) {
      writer->Discard();
      owner.Failed({FailedStep::ReadSource, sourceFile, error->reason, writer->Saved()});
      return RunOutcome::Failed;
    }
    if (got == SourceFile::kNothingYet) continue;
    if (got == 0) {
      scanner.Finish(run);
      ended = true;
    } else {
      ended = !scanner.Feed({block.data(), got}, run);
    }
  }
  // Whatever ended the run inside a card, nothing of that card may stay.
  auto discarded = writer->Discard();
  if (run.Failure()) {
    owner.Failed(*run.Failure());
    return RunOutcome::Failed;
  }
  if (discarded) {
    owner.Failed(*discarded);
    return RunOutcome::Failed;
  }
  if (run.Stopped()) return RunOutcome::Stopped;
  owner.Finished({writer->Saved(), writer->Folder(), scanner.InsideCard(), scanner.Statistics()});
  return RunOutcome::Finished;
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

}  // namespace

RunOutcome SplitCards(const SplitRequest& request, RunOwner& owner, FileSystem& files) {
  if (request.folder.empty() && !request.listOnly) return RunOutcome::NotStarted;
  std::filesystem::path sourceFile;
  std::optional<CardWriter> writer;
  try {
    NativeString folder = request.folder;
    if (!folder.empty() && folder.back() != std::filesystem::path::preferred_separator) {
      folder += std::filesystem::path::preferred_separator;
    }
    sourceFile = request.trimSourceSpaces ? TrimSpaces(request.source) : request.source;
    return SplitSource(sourceFile, folder, request, owner, files, writer);
  } catch (...) {
    // Anything thrown (memory running out above all) ends the run as a
    // failure that says so, with nothing partial left behind.
    RunFailure failure{FailedStep::Unexpected, sourceFile, ReasonOf(std::current_exception()), 0};
    if (writer) {
      failure.saved = writer->Saved();
      try {
        writer->Discard();
      } catch (...) {
        // Nothing more can be done about it here.
      }
    }
    owner.Failed(failure);
    return RunOutcome::Failed;
  }
}

RunOutcome ListFileNames(const SplitRequest& request, RunOwner& owner, NameList& list, FileSystem& files) {
  SplitRequest listing = request;
  listing.listOnly = &list;
  return SplitCards(listing, owner, files);
}

}  // namespace quillmere
