#include "splitter.h"

#include <memory>
#include <optional>
#include <vector>

#include "card_name.h"
#include "card_scanner.h"

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

// One run: writes each card the scanner finishes, reports every line.
class Run final : public LineSink {
 public:
  Run(NativeString folder, FileNaming naming, RunOwner& owner, FileSystem& files, CardScanner& scanner,
      std::optional<FileId> source, NameList* list)
      : folder_(std::move(folder)),
        naming_(naming),
        owner_(owner),
        files_(files),
        scanner_(scanner),
        source_(source),
        list_(list) {}

  bool LineEnded(bool cardDone) override {
    if (cardDone) {
      if (!SaveCard()) return false;
      scanner_.ClearCard();
    }
    owner_.Progress(saved_);
    if (!owner_.KeepGoing()) {
      stopped_ = true;
      return false;
    }
    return true;
  }

  std::uint64_t Saved() const { return saved_; }
  bool Stopped() const { return stopped_; }
  const std::optional<RunFailure>& Failure() const { return failure_; }
  const NativeString& Folder() const { return folder_; }

 private:
  // The one place a card's file name is chosen; cards are named in source
  // order, so two of one name are numbered the same on every run.
  NativeString FileName() {
    if (naming_ == FileNaming::Contacts) return namer_.Next(scanner_.Card(), saved_ + 1);
    return Native("vCard") + NativeDecimal(saved_ + 1) + Native(".vcf");
  }

  bool SaveCard() {
    if (list_) {
      list_->Named(saved_ + 1, FileName());
      ++saved_;
      return true;
    }
    const std::filesystem::path path = folder_ + FileName();
    if (source_ && files_.IdOf(path) == source_) {
      return Fail(FailedStep::OutputIsSource, path,
                  Native("That file is the source being split, and the source is never "
                         "overwritten. Choose another folder."));
    }
    std::optional<IoError> error;
    auto out = files_.Create(path, error);
    if (!out) return Fail(FailedStep::CreateOutput, path, error ? error->reason : NativeString{});
    error = out->Write(scanner_.Card());
    if (auto closed = out->Close(); !error) error = std::move(closed);
    out.reset();
    if (error) {
      // Never leave a file that holds part of a card.
      files_.Remove(path);
      return Fail(FailedStep::WriteOutput, path, error->reason);
    }
    ++saved_;
    return true;
  }

  bool Fail(FailedStep step, const std::filesystem::path& file, NativeString reason) {
    failure_ = RunFailure{step, file, std::move(reason), saved_};
    return false;
  }

  NativeString folder_;
  FileNaming naming_;
  CardNamer namer_;
  RunOwner& owner_;
  FileSystem& files_;
  CardScanner& scanner_;
  std::optional<FileId> source_;  // set when an output could be the source
  NameList* list_;                // set: name the cards, write nothing
  std::uint64_t saved_ = 0;
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

}  // namespace

RunOutcome SplitCards(const SplitRequest& request, RunOwner& owner, FileSystem& files) {
  if (request.folder.empty() && !request.listOnly) return RunOutcome::NotStarted;
  NativeString folder = request.folder;
  if (!folder.empty() && folder.back() != std::filesystem::path::preferred_separator) {
    folder += std::filesystem::path::preferred_separator;
  }
  const std::filesystem::path sourceFile =
      request.trimSourceSpaces ? TrimSpaces(request.source) : request.source;

  std::optional<IoError> error;
  const auto source = files.OpenSource(sourceFile, error);
  if (!source) {
    owner.Failed({FailedStep::OpenSource, sourceFile, error ? error->reason : NativeString{}, 0});
    return RunOutcome::Failed;
  }

  CardScanner scanner;
  Run run(folder, request.naming, owner, files, scanner,
          request.listOnly ? std::nullopt : OverwriteGuard(*source, sourceFile, folder, files),
          request.listOnly);
  std::vector<std::byte> block(kReadBlock);
  for (;;) {
    const std::size_t got = source->Read(block, error);
    if (error) {
      owner.Failed({FailedStep::ReadSource, sourceFile, error->reason, run.Saved()});
      return RunOutcome::Failed;
    }
    if (got == 0) {
      scanner.Finish(run);
      break;
    }
    if (!scanner.Feed({block.data(), got}, run)) break;
  }
  if (run.Failure()) {
    owner.Failed(*run.Failure());
    return RunOutcome::Failed;
  }
  if (run.Stopped()) return RunOutcome::Stopped;
  owner.Finished({run.Saved(), run.Folder(), scanner.InsideCard()});
  return RunOutcome::Finished;
}

RunOutcome ListFileNames(const SplitRequest& request, RunOwner& owner, NameList& list, FileSystem& files) {
  SplitRequest listing = request;
  listing.listOnly = &list;
  return SplitCards(listing, owner, files);
}

}  // namespace quillmere
