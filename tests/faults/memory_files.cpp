#include "memory_files.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace quillmere::testing {
namespace {

IoError Error(std::string_view text) {
  return IoError{Native(text)};
}

class MemorySource final : public SourceFile {
 public:
  MemorySource(std::shared_ptr<std::string> data, FileId id, const MemoryFiles::ReadSizes& sizes,
               bool otherNames)
      : data_(std::move(data)), id_(id), sizes_(sizes), otherNames_(otherNames) {}

  // Reads the file as it is now, like an open handle: a file truncated under
  // the reader ends early, one that grows reads on.
  std::size_t Read(std::span<std::byte> buffer, std::optional<IoError>&) override {
    if (offset_ >= data_->size() || buffer.empty()) return 0;
    std::size_t count = std::min(buffer.size(), data_->size() - offset_);
    if (sizes_) count = std::clamp<std::size_t>(sizes_(count), 1, count);
    std::memcpy(buffer.data(), data_->data() + offset_, count);
    offset_ += count;
    return count;
  }
  FileId Id() const override { return id_; }
  bool MayHaveOtherNames() const override { return otherNames_; }

 private:
  std::shared_ptr<std::string> data_;
  FileId id_;
  MemoryFiles::ReadSizes sizes_;
  bool otherNames_;
  std::size_t offset_ = 0;
};

class MemoryOutput final : public OutputFile {
 public:
  MemoryOutput(std::shared_ptr<std::string> data, std::shared_ptr<std::atomic<bool>> open,
               std::shared_ptr<std::atomic<int>> openCount)
      : data_(std::move(data)), open_(std::move(open)), openCount_(std::move(openCount)) {
    *open_ = true;
    ++*openCount_;
  }
  ~MemoryOutput() override { Release(); }

  std::optional<IoError> Write(std::span<const std::byte> data) override {
    if (!*open_) return Error("write after close");
    data_->append(reinterpret_cast<const char*>(data.data()), data.size());
    return std::nullopt;
  }
  std::optional<IoError> Close() override {
    if (!*open_) return Error("closed twice");
    Release();
    return std::nullopt;
  }

 private:
  void Release() {
    if (!*open_) return;
    *open_ = false;
    --*openCount_;
  }
  std::shared_ptr<std::string> data_;
  std::shared_ptr<std::atomic<bool>> open_;
  std::shared_ptr<std::atomic<int>> openCount_;
};

class CountingSource final : public SourceFile {
 public:
  CountingSource(std::unique_ptr<SourceFile> inner, FaultyFiles& files)
      : inner_(std::move(inner)), files_(files) {}
  std::size_t Read(std::span<std::byte> buffer, std::optional<IoError>& error) override {
    if (const int nth = files_.Count(Operation::Read)) {
      error = FaultyFiles::Injection(Operation::Read, nth);
      return 0;
    }
    return inner_->Read(buffer, error);
  }
  FileId Id() const override { return inner_->Id(); }
  bool MayHaveOtherNames() const override { return inner_->MayHaveOtherNames(); }

 private:
  std::unique_ptr<SourceFile> inner_;
  FaultyFiles& files_;
};

class CountingOutput final : public OutputFile {
 public:
  CountingOutput(std::unique_ptr<OutputFile> inner, FaultyFiles& files)
      : inner_(std::move(inner)), files_(files) {}
  std::optional<IoError> Write(std::span<const std::byte> data) override {
    if (const int nth = files_.Count(Operation::Write)) {
      // Part of the data reaches the disk before the failure.
      if (auto partial = inner_->Write(data.first(data.size() / 2))) return partial;
      return FaultyFiles::Injection(Operation::Write, nth);
    }
    return inner_->Write(data);
  }
  std::optional<IoError> Close() override {
    const int nth = files_.Count(Operation::Close);
    auto error = inner_->Close();
    if (nth && !error) error = FaultyFiles::Injection(Operation::Close, nth);
    return error;
  }

 private:
  std::unique_ptr<OutputFile> inner_;
  FaultyFiles& files_;
};

}  // namespace

std::filesystem::path MemoryFiles::Key(const std::filesystem::path& path) {
  return path.lexically_normal();
}

void MemoryFiles::AddFolder(const std::filesystem::path& folder) {
  std::lock_guard lock(mutex_);
  auto key = Key(folder);
  // A folder path ending in a separator names the same folder as without.
  if (!key.has_filename()) key = key.parent_path();
  if (!folders_.contains(key)) folders_[key] = FileId{7, 0, nextId_++};
}

void MemoryFiles::Put(const std::filesystem::path& path, std::string content) {
  std::lock_guard lock(mutex_);
  AddFolder(Key(path).parent_path());
  files_[Key(path)] = Entry{std::make_shared<std::string>(std::move(content)), FileId{7, 0, nextId_++},
                            std::make_shared<std::atomic<bool>>(false)};
}

bool MemoryFiles::Exists(const std::filesystem::path& path) const {
  std::lock_guard lock(mutex_);
  return files_.contains(Key(path));
}

std::string MemoryFiles::Content(const std::filesystem::path& path) const {
  std::lock_guard lock(mutex_);
  auto it = files_.find(Key(path));
  return it == files_.end() ? std::string() : *it->second.data;
}

std::map<std::string, std::string> MemoryFiles::FilesIn(const std::filesystem::path& folder) const {
  std::lock_guard lock(mutex_);
  auto key = Key(folder);
  if (!key.has_filename()) key = key.parent_path();
  std::map<std::string, std::string> found;
  for (const auto& [path, entry] : files_)
    if (path.parent_path() == key) found[Printable(path.filename())] = *entry.data;
  return found;
}

std::size_t MemoryFiles::CountIn(const std::filesystem::path& folder) const {
  std::lock_guard lock(mutex_);
  auto key = Key(folder);
  if (!key.has_filename()) key = key.parent_path();
  std::size_t count = 0;
  for (const auto& entry : files_) count += entry.first.parent_path() == key ? 1 : 0;
  return count;
}

std::unique_ptr<SourceFile> MemoryFiles::OpenSource(const std::filesystem::path& path,
                                                    std::optional<IoError>& error) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(Key(path));
  if (it == files_.end()) {
    error = Error("No such file or directory");
    return nullptr;
  }
  return std::make_unique<MemorySource>(it->second.data, it->second.id, readSizes_, otherNames_);
}

std::unique_ptr<OutputFile> MemoryFiles::Create(const std::filesystem::path& path,
                                                std::optional<IoError>& error) {
  std::lock_guard lock(mutex_);
  const auto key = Key(path);
  if (!folders_.contains(key.parent_path())) {
    error = Error("No such file or directory");
    return nullptr;
  }
  auto it = files_.find(key);
  if (it == files_.end()) {
    it = files_
             .emplace(key, Entry{std::make_shared<std::string>(), FileId{7, 0, nextId_++},
                                 std::make_shared<std::atomic<bool>>(false)})
             .first;
  } else if (*it->second.openForOutput) {
    error = Error("The file is open for writing already");
    return nullptr;
  }
  // Truncation reaches readers of the same file, as on a real disk.
  it->second.data->clear();
  return std::make_unique<MemoryOutput>(it->second.data, it->second.openForOutput, openOutputs_);
}

std::unique_ptr<OutputFile> MemoryFiles::CreateNew(const std::filesystem::path& path,
                                                   std::optional<IoError>& error) {
  std::lock_guard lock(mutex_);
  if (Exists(path) || folders_.contains(Key(path))) {
    error = Error("File exists");
    error->nameTaken = true;
    return nullptr;
  }
  return Create(path, error);
}

// As on Windows, a file still open cannot be renamed, and a folder is never
// replaced.
std::optional<IoError> MemoryFiles::Rename(const std::filesystem::path& from,
                                           const std::filesystem::path& to) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(Key(from));
  if (it == files_.end()) return Error("No such file or directory");
  if (*it->second.openForOutput) return Error("The file is still open");
  if (folders_.contains(Key(to))) return Error("Is a directory");
  if (auto target = files_.find(Key(to)); target != files_.end() && *target->second.openForOutput)
    return Error("The file is open for writing");
  Entry moved = it->second;
  files_.erase(it);
  files_[Key(to)] = std::move(moved);
  return std::nullopt;
}

std::optional<IoError> MemoryFiles::RenameNew(const std::filesystem::path& from,
                                              const std::filesystem::path& to) {
  std::lock_guard lock(mutex_);
  if (Exists(to) || folders_.contains(Key(to))) {
    IoError error = Error("File exists");
    error.nameTaken = true;
    return error;
  }
  return Rename(from, to);
}

std::optional<IoError> MemoryFiles::Remove(const std::filesystem::path& path) {
  std::lock_guard lock(mutex_);
  auto it = files_.find(Key(path));
  if (it == files_.end()) return Error("No such file or directory");
  if (*it->second.openForOutput) return Error("The file is still open");
  files_.erase(it);
  return std::nullopt;
}

std::optional<FileId> MemoryFiles::IdOf(const std::filesystem::path& path) {
  std::lock_guard lock(mutex_);
  auto key = Key(path);
  if (auto it = files_.find(key); it != files_.end()) return it->second.id;
  if (!key.has_filename()) key = key.parent_path();
  if (auto it = folders_.find(key); it != folders_.end()) return it->second;
  return std::nullopt;
}

bool MemoryFiles::IsEmptyFolder(const std::filesystem::path& path) {
  std::lock_guard lock(mutex_);
  auto key = Key(path);
  if (!key.has_filename()) key = key.parent_path();
  if (!folders_.contains(key)) return false;
  for (const auto& [file, entry] : files_)
    if (file.parent_path() == key) return false;
  for (const auto& [folder, id] : folders_)
    if (folder.parent_path() == key && folder != key) return false;
  return true;
}

const char* Name(Operation operation) {
  switch (operation) {
    case Operation::OpenSource:
      return "OpenSource";
    case Operation::Read:
      return "Read";
    case Operation::Create:
      return "Create";
    case Operation::Write:
      return "Write";
    case Operation::Close:
      return "Close";
    case Operation::Remove:
      return "Remove";
    case Operation::IdOf:
      return "IdOf";
    case Operation::IsEmptyFolder:
      return "IsEmptyFolder";
    case Operation::CreateNew:
      return "CreateNew";
    case Operation::Rename:
      return "Rename";
  }
  return "?";
}

int FaultyFiles::Calls(Operation operation) const {
  std::lock_guard lock(mutex_);
  auto it = calls_.find(operation);
  return it == calls_.end() ? 0 : it->second;
}

int FaultyFiles::Count(Operation operation) {
  std::lock_guard lock(mutex_);
  const int nth = ++calls_[operation];
  sequence_.push_back(operation);
  if (injected_) callsAfter_.push_back(operation);
  const bool changesFolder = operation == Operation::Create || operation == Operation::CreateNew ||
                             operation == Operation::Rename || operation == Operation::Remove;
  if (injected_ && readOnlyAfter_ && changesFolder) return nth;
  auto it = failAt_.find(operation);
  if (it == failAt_.end() || it->second != nth) return 0;
  if (!injected_) injected_ = std::pair{operation, nth};
  if (throwInstead_) throw std::bad_alloc();
  return nth;
}

IoError FaultyFiles::Injection(Operation operation, int nth) {
  return Error(std::string("injected failure of ") + Name(operation) + " #" + std::to_string(nth));
}

std::unique_ptr<SourceFile> FaultyFiles::OpenSource(const std::filesystem::path& path,
                                                    std::optional<IoError>& error) {
  if (const int nth = Count(Operation::OpenSource)) {
    error = Injection(Operation::OpenSource, nth);
    return nullptr;
  }
  auto inner = inner_.OpenSource(path, error);
  if (!inner) return nullptr;
  sourceId_ = inner->Id();
  return std::make_unique<CountingSource>(std::move(inner), *this);
}

std::unique_ptr<OutputFile> FaultyFiles::Create(const std::filesystem::path& path,
                                                std::optional<IoError>& error) {
  {
    std::lock_guard lock(mutex_);
    created_.push_back(path);
  }
  if (const int nth = Count(Operation::Create)) {
    error = Injection(Operation::Create, nth);
    return nullptr;
  }
  auto inner = inner_.Create(path, error);
  if (!inner) return nullptr;
  return std::make_unique<CountingOutput>(std::move(inner), *this);
}

std::unique_ptr<OutputFile> FaultyFiles::CreateNew(const std::filesystem::path& path,
                                                   std::optional<IoError>& error) {
  {
    std::lock_guard lock(mutex_);
    created_.push_back(path);
  }
  if (const int nth = Count(Operation::CreateNew)) {
    error = Injection(Operation::CreateNew, nth);
    return nullptr;
  }
  auto inner = inner_.CreateNew(path, error);
  if (!inner) return nullptr;
  return std::make_unique<CountingOutput>(std::move(inner), *this);
}

std::optional<IoError> FaultyFiles::Rename(const std::filesystem::path& from,
                                           const std::filesystem::path& to) {
  if (const int nth = Count(Operation::Rename)) return Injection(Operation::Rename, nth);
  return inner_.Rename(from, to);
}

// Counted as a Rename: either is the one step in which a large card's file
// takes its name.
std::optional<IoError> FaultyFiles::RenameNew(const std::filesystem::path& from,
                                              const std::filesystem::path& to) {
  if (const int nth = Count(Operation::Rename)) return Injection(Operation::Rename, nth);
  return inner_.RenameNew(from, to);
}

std::optional<IoError> FaultyFiles::Remove(const std::filesystem::path& path) {
  if (const int nth = Count(Operation::Remove)) return Injection(Operation::Remove, nth);
  return inner_.Remove(path);
}

std::optional<FileId> FaultyFiles::IdOf(const std::filesystem::path& path) {
  if (Count(Operation::IdOf)) {
    if (idOfFault_ == IdOfFault::SameAsSource && sourceId_) return sourceId_;
    return std::nullopt;
  }
  return inner_.IdOf(path);
}

bool FaultyFiles::IsEmptyFolder(const std::filesystem::path& path) {
  if (Count(Operation::IsEmptyFolder)) return false;
  return inner_.IsEmptyFolder(path);
}

unsigned TestJobs() {
  const char* text = std::getenv("QUILLMERE_TEST_JOBS");
  const int jobs = text ? std::atoi(text) : 1;
  return jobs > 1 ? static_cast<unsigned>(jobs) : 1u;
}

std::string Printable(const NativeString& text) {
  return Printable(std::filesystem::path(text));
}

std::string Printable(const std::filesystem::path& path) {
  const auto utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace quillmere::testing
