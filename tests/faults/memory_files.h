#pragma once
// Files for tests: an in-memory file system, and a forwarding layer that makes
// one chosen call of one chosen operation fail.
#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "quillmere/file_system.h"

namespace quillmere::testing {

// Files held in memory, with the rules of a strict platform: creating a file
// needs its folder to exist, and a file open for writing cannot be removed
// (Windows refuses that, so a run must close before it removes). Safe to use
// from several threads at once, as a run with several writers does.
class MemoryFiles final : public FileSystem {
 public:
  // How many bytes each Read of a source hands back, given how many were
  // asked for; by default all of them. Tests use it to cut the source into
  // short reads, down to one byte.
  using ReadSizes = std::function<std::size_t(std::size_t requested)>;

  void AddFolder(const std::filesystem::path& folder);
  void Put(const std::filesystem::path& path, std::string content);
  void SetReadSizes(ReadSizes sizes) { readSizes_ = std::move(sizes); }
  // Whether open sources say they may have other names (hard links); by
  // default they have one name only, as most files do.
  void SetSourcesMayHaveOtherNames(bool may) { otherNames_ = may; }

  bool Exists(const std::filesystem::path& path) const;
  std::string Content(const std::filesystem::path& path) const;
  // Every file in the folder (not below it), by name.
  std::map<std::string, std::string> FilesIn(const std::filesystem::path& folder) const;
  // How many files the folder holds, by name only: safe while writers are
  // still appending to them.
  std::size_t CountIn(const std::filesystem::path& folder) const;
  // Output files created and neither closed nor destroyed yet.
  int OpenOutputs() const { return *openOutputs_; }

  std::unique_ptr<SourceFile> OpenSource(const std::filesystem::path& path,
                                         std::optional<IoError>& error) override;
  std::unique_ptr<OutputFile> Create(const std::filesystem::path& path,
                                     std::optional<IoError>& error) override;
  std::unique_ptr<OutputFile> CreateNew(const std::filesystem::path& path,
                                        std::optional<IoError>& error) override;
  std::optional<IoError> Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::optional<IoError> RenameNew(const std::filesystem::path& from,
                                   const std::filesystem::path& to) override;
  std::optional<IoError> Remove(const std::filesystem::path& path) override;
  std::optional<FileId> IdOf(const std::filesystem::path& path) override;
  bool IsEmptyFolder(const std::filesystem::path& path) override;

 private:
  struct Entry {
    std::shared_ptr<std::string> data;
    FileId id;
    std::shared_ptr<std::atomic<bool>> openForOutput;
  };
  static std::filesystem::path Key(const std::filesystem::path& path);

  mutable std::recursive_mutex mutex_;
  std::map<std::filesystem::path, Entry> files_;
  std::map<std::filesystem::path, FileId> folders_;
  ReadSizes readSizes_;
  bool otherNames_ = false;
  std::uint64_t nextId_ = 1;
  std::shared_ptr<std::atomic<int>> openOutputs_ = std::make_shared<std::atomic<int>>(0);
};

enum class Operation {
  OpenSource,
  Read,
  Create,
  Write,
  Close,
  Remove,
  IdOf,
  IsEmptyFolder,
  CreateNew,
  Rename
};
const char* Name(Operation operation);

// What a failing IdOf answers: that no such file exists, or (a file system
// that reuses identities, or a link) that the file is the open source.
enum class IdOfFault { NoSuchFile, SameAsSource };

// Forwards every call to another file system and counts the calls of each
// operation; the chosen call of the chosen operation fails instead. A failing
// Write passes the first half of its data on before it fails, as a disk that
// fills up does; a failing Close still closes; a failing IsEmptyFolder says
// it cannot tell (no). Calls may come from several threads.
class FaultyFiles final : public FileSystem {
 public:
  explicit FaultyFiles(FileSystem& inner) : inner_(inner) {}

  // Makes the nth call (from 1) of the operation fail; 0 never.
  void FailAt(Operation operation, int nth) { failAt_[operation] = nth; }
  void SetIdOfFault(IdOfFault fault) { idOfFault_ = fault; }
  // The chosen call throws std::bad_alloc instead of failing, as running
  // out of memory at that point would.
  void SetThrowInstead(bool throws) { throwInstead_ = throws; }
  // Once the chosen call has failed, every later Create, CreateNew, Rename
  // and Remove fails too, as in a folder made read-only during a run.
  void SetReadOnlyAfterFailure(bool readOnly) { readOnlyAfter_ = readOnly; }

  int Calls(Operation operation) const;
  // The operation and call number of the first injected failure, if any.
  std::optional<std::pair<Operation, int>> Injected() const { return injected_; }
  // Every call, in order.
  const std::vector<Operation>& Sequence() const { return sequence_; }
  // Calls of any operation made after the first injected failure.
  const std::vector<Operation>& CallsAfterFailure() const { return callsAfter_; }
  // The path each Create or CreateNew was asked for, in order.
  const std::vector<std::filesystem::path>& Created() const { return created_; }

  std::unique_ptr<SourceFile> OpenSource(const std::filesystem::path& path,
                                         std::optional<IoError>& error) override;
  std::unique_ptr<OutputFile> Create(const std::filesystem::path& path,
                                     std::optional<IoError>& error) override;
  std::unique_ptr<OutputFile> CreateNew(const std::filesystem::path& path,
                                        std::optional<IoError>& error) override;
  std::optional<IoError> Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::optional<IoError> RenameNew(const std::filesystem::path& from,
                                   const std::filesystem::path& to) override;
  std::optional<IoError> Remove(const std::filesystem::path& path) override;
  std::optional<FileId> IdOf(const std::filesystem::path& path) override;
  bool IsEmptyFolder(const std::filesystem::path& path) override;

  // Counts a call; its number (from 1) when this one is to fail, else 0.
  int Count(Operation operation);
  static IoError Injection(Operation operation, int nth);

 private:
  FileSystem& inner_;
  mutable std::mutex mutex_;
  std::map<Operation, int> calls_;
  std::map<Operation, int> failAt_;
  IdOfFault idOfFault_ = IdOfFault::NoSuchFile;
  bool throwInstead_ = false;
  bool readOnlyAfter_ = false;
  std::optional<FileId> sourceId_;
  std::optional<std::pair<Operation, int>> injected_;
  std::vector<Operation> sequence_;
  std::vector<Operation> callsAfter_;
  std::vector<std::filesystem::path> created_;
};

// How many cards the failure tests' runs write at once: 1, or the number in
// QUILLMERE_TEST_JOBS (ctest runs the suites a second time with 4).
unsigned TestJobs();

// Narrow text of a native string or path, for test messages.
std::string Printable(const NativeString& text);
std::string Printable(const std::filesystem::path& path);

}  // namespace quillmere::testing
