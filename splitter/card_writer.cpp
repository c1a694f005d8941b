#include "card_writer.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <string>

namespace quillmere {
namespace {

// Other programs (or a second run) may use the folder at the same time: a
// temporary name already taken is tried again under another.
constexpr int kTemporaryNameTries = 16;

std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

std::uint64_t NewSeed() {
  std::uint64_t seed =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    seed ^= (std::uint64_t{device()} << 32) | device();
  } catch (const std::exception&) {
    // The clock alone still tells runs apart.
  }
  return seed;
}

}  // namespace

CardWriter::CardWriter(NativeString folder, FileSystem& files, OutputGuard source, FileNaming naming,
                       NameList* list)
    : folder_(std::move(folder)),
      files_(files),
      source_(std::move(source)),
      nameSeed_(NewSeed()),
      naming_(naming),
      list_(list) {}

CardWriter::~CardWriter() {
  large_.reset();
  try {
    if (unfinished_) files_.Remove(*unfinished_);
  } catch (...) {
    // A destructor may not throw; Discard is where a removal is reported.
  }
}

// The card's file; while a large card named after its contact is still
// arriving, its name is not known and its temporary file stands for it.
std::filesystem::path CardWriter::CardPath() const {
  if (!name_.empty()) return folder_ + name_;
  if (naming_ == FileNaming::Contacts && unfinished_) return *unfinished_;
  return folder_ + NumberedName();
}

// vCard<N>.vcf for the next card.
NativeString CardWriter::NumberedName() const {
  return Native("vCard") + NativeDecimal(saved_ + 1) + Native(".vcf");
}

void CardWriter::NameCard(std::span<const std::byte> last) {
  if (naming_ == FileNaming::Numbered) {
    name_ = NumberedName();
  } else if (inParts_) {
    partsRead_.Feed(last);
    name_ = namer_.Next(partsRead_.Finish(), saved_ + 1);
  } else {
    name_ = namer_.Next(last, saved_ + 1);
  }
  inParts_ = false;
}

// ".vCard<N>.vcf.partial-<16 hex digits>": hidden where a leading dot hides,
// and never taken for a card.
std::filesystem::path CardWriter::TemporaryPath() {
  static const char digits[] = "0123456789abcdef";
  std::string random(16, '0');
  std::uint64_t bits = Mix(nameSeed_++);
  for (char& c : random) {
    c = digits[bits & 15];
    bits >>= 4;
  }
  return folder_ + Native(".vCard") + NativeDecimal(saved_ + 1) + Native(".vcf.partial-") + Native(random);
}

RunFailure CardWriter::Failure(FailedStep step, const std::filesystem::path& path,
                               const std::optional<IoError>& error) const {
  return RunFailure{step, path, error ? error->reason : NativeString{}, saved_};
}

namespace {

RunFailure FileFailure(FailedStep step, const std::filesystem::path& path,
                       const std::optional<IoError>& error) {
  return RunFailure{step, path, error ? error->reason : NativeString{}, 0};
}

}  // namespace

std::optional<RunFailure> OutputGuard::Refuses(const std::optional<FileId>& id,
                                               const std::filesystem::path& path) const {
  if (!id) return std::nullopt;
  if (id == source) {
    return RunFailure{FailedStep::OutputIsSource, path,
                      Native("That file is the source being split, and the source is never "
                             "overwritten. Choose another folder."),
                      0};
  }
  if (std::find(messages.begin(), messages.end(), *id) == messages.end()) return std::nullopt;
  return RunFailure{FailedStep::OutputIsSource, path,
                    Native("That file is where this run's own messages go (its standard output or "
                           "error), and it is never written over. Send them elsewhere, or choose "
                           "another folder."),
                    0};
}

std::optional<RunFailure> OutputGuard::Check(FileSystem& files, const std::filesystem::path& path,
                                             bool* nameFree) const {
  // Unchecked only in a folder that started out empty: every name is free.
  if (nameFree) *nameFree = !*this;
  if (!*this) return std::nullopt;
  const auto id = files.IdOf(path);
  if (nameFree) *nameFree = !id;
  return Refuses(id, path);
}

std::unique_ptr<OutputFile> CreateCardFile(FileSystem& files, const OutputGuard& source,
                                           const std::filesystem::path& path,
                                           std::optional<RunFailure>& failure) {
  bool nameFree = false;
  if ((failure = source.Check(files, path, &nameFree))) return nullptr;
  std::optional<IoError> error;
  // A name nothing has is made in one call that can only make a new file;
  // one in use (a file of an earlier run, a link) goes the careful way.
  auto out = nameFree ? files.CreateNew(path, error) : nullptr;
  if (!out && (!nameFree || (error && error->nameTaken))) {
    // Free when asked, yet taken now: made since, or not told apart the
    // first time. It may be the source, so it is asked again.
    if (nameFree && (failure = source.Check(files, path))) return nullptr;
    error.reset();
    out = files.Create(path, error);
  }
  if (!out) failure = FileFailure(FailedStep::CreateOutput, path, error);
  return out;
}

std::optional<RunFailure> FillCardFile(FileSystem& files, std::unique_ptr<OutputFile> out,
                                       const std::filesystem::path& path, std::span<const std::byte> card) {
  // Whatever ends this early, a thrown exception included, the file goes:
  // it would hold part of a card. The file is closed before it goes.
  struct RemoveUnlessDone {
    FileSystem& files;
    std::unique_ptr<OutputFile>& out;
    const std::filesystem::path& path;
    bool done = false;
    ~RemoveUnlessDone() {
      try {
        out.reset();
        if (!done) files.Remove(path);
      } catch (...) {
        // Unwinding already: the failure that led here is what is reported.
      }
    }
  } cleanup{files, out, path};
  std::optional<IoError> error = out->Write(card);
  if (auto closed = out->Close(); !error) error = std::move(closed);
  out.reset();
  if (error) return FileFailure(FailedStep::WriteOutput, path, error);
  cleanup.done = true;
  return std::nullopt;
}

std::optional<RunFailure> WriteWholeCard(FileSystem& files, const OutputGuard& source,
                                         const std::filesystem::path& path, std::span<const std::byte> card) {
  std::optional<RunFailure> failure;
  auto out = CreateCardFile(files, source, path, failure);
  if (!out) return failure;
  return FillCardFile(files, std::move(out), path, card);
}

std::filesystem::path CardWriter::NameNext(std::span<const std::byte> card) {
  NameCard(card);
  std::filesystem::path path = CardPath();
  name_.clear();
  ++saved_;
  return path;
}

std::optional<RunFailure> CardWriter::Save(std::span<const std::byte> card) {
  NameCard(card);
  if (list_) {
    list_->Named(saved_ + 1, name_);
    name_.clear();
    ++saved_;
    return std::nullopt;
  }
  return FinishLarge(card);
}

std::optional<RunFailure> CardWriter::Part(std::span<const std::byte> part) {
  if (naming_ == FileNaming::Contacts) {
    if (!inParts_) partsRead_.Reset();
    inParts_ = true;
    partsRead_.Feed(part);
  }
  if (list_) return std::nullopt;
  if (!large_) {
    if (auto failure = StartLarge()) return failure;
  }
  if (auto error = large_->Write(part)) return Abandon(FailedStep::WriteOutput, error);
  return std::nullopt;
}

std::optional<RunFailure> CardWriter::StartLarge() {
  const auto path = CardPath();
  // A contact's name is known only at the card's end, and checked then.
  if (naming_ == FileNaming::Numbered) {
    if (auto failure = source_.Check(files_, path)) return failure;
  }
  std::optional<IoError> error;
  for (int tries = 1;; ++tries) {
    const auto temporary = TemporaryPath();
    error.reset();
    large_ = files_.CreateNew(temporary, error);
    if (large_) {
      unfinished_ = temporary;
      return std::nullopt;
    }
    if (!error || !error->nameTaken || tries == kTemporaryNameTries) {
      // The temporary file was never made.
      return Failure(FailedStep::CreateOutput, FailedCardPath(), error);
    }
  }
}

std::optional<RunFailure> CardWriter::FinishLarge(std::span<const std::byte> last) {
  if (auto error = large_->Write(last)) return Abandon(FailedStep::WriteOutput, error);
  std::optional<IoError> error = large_->Close();
  large_.reset();
  if (error) return Abandon(FailedStep::WriteOutput, error);
  // The name may have become a link to the source while the card was read.
  bool nameFree = false;
  if (auto failure = source_.Check(files_, CardPath(), &nameFree)) {
    Abandon(FailedStep::OutputIsSource, std::nullopt);
    return failure;
  }
  const auto path = CardPath();
  // A name nothing had is taken only while nothing has it; one in use (an
  // earlier run's file, a link) is replaced.
  auto renamed = nameFree ? files_.RenameNew(*unfinished_, path) : files_.Rename(*unfinished_, path);
  if (renamed && nameFree && renamed->nameTaken) {
    // Free when asked, yet taken now: made since, or not told apart the
    // first time. It may be the source, so it is asked again.
    if (auto failure = source_.Check(files_, path)) {
      Abandon(FailedStep::OutputIsSource, std::nullopt);
      return failure;
    }
    renamed = files_.Rename(*unfinished_, path);
  }
  if (renamed) return Abandon(FailedStep::CreateOutput, renamed);
  unfinished_.reset();
  name_.clear();
  ++saved_;
  return std::nullopt;
}

// The file a large card that failed before its end stands for. A contact's
// name is given at the card's end; before that it is the one a whole FN line
// already read gives (a card's name most often comes before its photo), and
// the folder only when there is none yet. The run ends with the failure, so
// no later card can miss the name taken here.
std::filesystem::path CardWriter::FailedCardPath() {
  if (naming_ == FileNaming::Contacts && name_.empty() && inParts_) {
    if (const std::u32string* stem = partsRead_.NameSoFar()) name_ = namer_.Next(*stem, saved_ + 1);
  }
  if (naming_ == FileNaming::Contacts && name_.empty()) return std::filesystem::path(folder_);
  return CardPath();
}

// A large card failed: its partly written file goes, and the failure names
// the card's own file (and the temporary one too, if it could not be
// removed).
std::optional<RunFailure> CardWriter::Abandon(FailedStep step, const std::optional<IoError>& error) {
  RunFailure failure = Failure(step, FailedCardPath(), error);
  name_.clear();
  large_.reset();
  const auto temporary = *unfinished_;
  unfinished_.reset();
  if (auto removal = files_.Remove(temporary)) {
    failure.reason += Native(" The partly written card ") + Native("\"") + temporary.native() +
                      Native("\" could not be removed either: ") + removal->reason;
  }
  return failure;
}

std::optional<RunFailure> CardWriter::Discard() {
  large_.reset();
  if (!unfinished_) return std::nullopt;
  const auto path = *unfinished_;
  unfinished_.reset();
  if (auto error = files_.Remove(path))
    return RunFailure{FailedStep::RemoveTemporary, path, error->reason, saved_};
  return std::nullopt;
}

}  // namespace quillmere
