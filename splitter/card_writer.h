#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "card_namer.h"
#include "quillmere/file_system.h"
#include "quillmere/run.h"

namespace quillmere {

// What no output may ever be written into: the source, and the files the
// caller's own messages go to (the command line's standard output and
// error, when they are files). Every output name is checked against it
// before it is opened; an empty guard checks nothing, for a run in which no
// output can be any of them.
struct OutputGuard {
  OutputGuard() = default;
  OutputGuard(std::nullopt_t) {}
  OutputGuard(std::optional<FileId> sourceId) : source(sourceId) {}
  std::optional<FileId> source;
  std::vector<FileId> messages;
  explicit operator bool() const { return source || !messages.empty(); }
  // Why an output under `path`, whose identity is `id`, may not be written.
  std::optional<RunFailure> Refuses(const std::optional<FileId>& id, const std::filesystem::path& path) const;
  // Why an output may not be written under `path`, asking the file system
  // for its identity; nameFree (if given) learns whether nothing has the
  // name, as far as the check can tell.
  std::optional<RunFailure> Check(FileSystem& files, const std::filesystem::path& path,
                                  bool* nameFree = nullptr) const;
};

// Writes one whole card under path: checks the name against the source (if
// one is given), creates the file (a name known to be free with one create
// that can only make a new file), writes and closes it; on any failure,
// nothing of the card is left under the name. The failure's count of cards
// saved is the caller's to fill in.
std::optional<RunFailure> WriteWholeCard(FileSystem& files, const OutputGuard& source,
                                         const std::filesystem::path& path, std::span<const std::byte> card);

// WriteWholeCard in its two steps, for writers that must create the files
// of their cards in card order but may write them in any: the check and the
// create (nothing is made on a failure), then the write and the close
// (whatever ends it early removes the file).
std::unique_ptr<OutputFile> CreateCardFile(FileSystem& files, const OutputGuard& source,
                                           const std::filesystem::path& path,
                                           std::optional<RunFailure>& failure);
std::optional<RunFailure> FillCardFile(FileSystem& files, std::unique_ptr<OutputFile> out,
                                       const std::filesystem::path& path, std::span<const std::byte> card);

// Names the cards vCard1.vcf, vCard2.vcf, ... (or after the contacts) in a
// folder, in source order, each when its card is finished, and writes the
// cards too large to hold; whole cards are written by a ParallelWriter under
// the names given here (WriteWholeCard: one create, one write and one close,
// the create one that can only make a new file under a name known to be
// free). A large card's name is read from its parts as they pass and known
// at its end, when its file takes it: the parts go, as they come, to a file
// of its own in the folder under a name that is never a vCard<N>.vcf,
// created only if nothing has that name; once the card's last byte is
// written and the file closed, it is renamed to its vCard<N>.vcf in one
// step. So no vCard<N>.vcf ever holds part of a card, and a failure leaves
// nothing of the card.
//
// Before a card takes a name, the name is checked against the guard (if one
// is given): the source is never overwritten.
//
// With a list, nothing is written: each card's number and name go to it.
class CardWriter {
 public:
  CardWriter(NativeString folder, FileSystem& files, OutputGuard source,
             FileNaming naming = FileNaming::Numbered, NameList* list = nullptr);
  // Removes what was written of an unfinished card, if anything.
  ~CardWriter();
  CardWriter(const CardWriter&) = delete;
  CardWriter& operator=(const CardWriter&) = delete;

  // The next card's end: with a list, the whole card, named and listed;
  // else the last bytes of a card too large to hold, after its Parts. Whole
  // cards are written by the caller, under the path NameNext gives.
  std::optional<RunFailure> Save(std::span<const std::byte> card);
  // The next bytes of a card too large to hold.
  std::optional<RunFailure> Part(std::span<const std::byte> part);
  // The run ends inside a card: removes what was written of it.
  std::optional<RunFailure> Discard();

  // Names the next whole card, in source order, and gives its path; counts
  // it as handed on to whatever writes it.
  std::filesystem::path NameNext(std::span<const std::byte> card);
  const NativeString& Folder() const { return folder_; }

 private:
  std::filesystem::path CardPath() const;
  NativeString NumberedName() const;
  // Chooses the name of the card being finished; its last bytes follow the
  // parts already read, if any.
  void NameCard(std::span<const std::byte> last);
  std::filesystem::path TemporaryPath();
  std::optional<RunFailure> StartLarge();
  std::optional<RunFailure> FinishLarge(std::span<const std::byte> last);
  std::optional<RunFailure> Abandon(FailedStep step, const std::optional<IoError>& error);
  std::filesystem::path FailedCardPath();
  RunFailure Failure(FailedStep step, const std::filesystem::path& path,
                     const std::optional<IoError>& error) const;

  NativeString folder_;
  FileSystem& files_;
  OutputGuard source_;
  std::uint64_t saved_ = 0;
  std::uint64_t nameSeed_;
  // A file that holds part of a card: removed unless the card is finished.
  std::optional<std::filesystem::path> unfinished_;
  std::unique_ptr<OutputFile> large_;  // open on unfinished_ while parts arrive
  FileNaming naming_;
  NameList* list_;
  CardNamer namer_;
  CardNameReader partsRead_;  // a large card's parts, read for its name
  bool inParts_ = false;      // a large card's parts are arriving
  NativeString name_;         // the finished card's file name, once chosen
};

}  // namespace quillmere
