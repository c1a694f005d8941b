#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "quillmere/native_text.h"

namespace quillmere {

// A failure of one file operation, with the system's own words for it.
struct IoError {
  NativeString reason;
  bool nameTaken = false;  // CreateNew: something has that name already
};

// Identity of a file on its device: two paths name the same file exactly
// when their identities are equal, whatever the path text says.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

class SourceFile {
 public:
  // What Read returns when a source that can keep a reader waiting (a pipe,
  // a FIFO, a terminal) had nothing for a short while (tens of
  // milliseconds): the run may look for a stop and read again.
  static constexpr std::size_t kNothingYet = static_cast<std::size_t>(-1);

  virtual ~SourceFile() = default;
  // Fills up to buffer.size() bytes; 0 means the end of the file.
  virtual std::size_t Read(std::span<std::byte> buffer, std::optional<IoError>& error) = 0;
  virtual FileId Id() const = 0;
  // Whether the file may have names besides the one it was opened by (hard
  // links). When unsure, say yes.
  virtual bool MayHaveOtherNames() const { return true; }
};

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all of data or fails.
  virtual std::optional<IoError> Write(std::span<const std::byte> data) = 0;
  // Flushes and closes; a failure here means the data may not be on disk.
  virtual std::optional<IoError> Close() = 0;
};

// Every file operation a run makes goes through this interface, so that
// tests can make any one of them fail.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<SourceFile> OpenSource(const std::filesystem::path& path,
                                                 std::optional<IoError>& error) = 0;
  // Creates the file, or truncates it if it exists as a regular file.
  // Anything else of that name (a symbolic link, a FIFO, a device, a
  // reparse point) is never opened through: the name itself is removed and
  // a new file made. A folder of that name is a failure.
  virtual std::unique_ptr<OutputFile> Create(const std::filesystem::path& path,
                                             std::optional<IoError>& error) = 0;
  // Creates a file under a name that nothing has yet; if anything has it,
  // fails with nameTaken set and leaves it alone.
  virtual std::unique_ptr<OutputFile> CreateNew(const std::filesystem::path& path,
                                                std::optional<IoError>& error) = 0;
  // Gives the closed file `from` the name `to` in the same folder, in one
  // step, replacing whatever has that name: a file, or a link itself (never
  // what it points at). A folder of that name is a failure.
  virtual std::optional<IoError> Rename(const std::filesystem::path& from,
                                        const std::filesystem::path& to) = 0;
  // As Rename, but only while nothing has the name `to`: if anything has
  // it, fails with nameTaken set and leaves both names alone.
  virtual std::optional<IoError> RenameNew(const std::filesystem::path& from,
                                           const std::filesystem::path& to) = 0;
  virtual std::optional<IoError> Remove(const std::filesystem::path& path) = 0;
  // The identity of an existing file; nothing when there is no such file.
  virtual std::optional<FileId> IdOf(const std::filesystem::path& path) = 0;
  // Whether the folder exists and holds nothing at all. When unsure, say no.
  virtual bool IsEmptyFolder(const std::filesystem::path&) { return false; }
  // The process's standard input as a source (a pipe, a terminal or a file
  // the shell opened). The source is read from where standard input stands.
  virtual std::unique_ptr<SourceFile> OpenStandardInput(std::optional<IoError>& error) {
    error = IoError{Native("Standard input cannot be read here.")};
    return nullptr;
  }
  // Standard output and error where they are files on disk, which a run must
  // never write a card into: "quillmere-split in.vcf out > out/vCard1.vcf"
  // would otherwise find its message in the card's place.
  virtual std::vector<FileId> MessageFiles() { return {}; }
  // Makes room for this many files open at once, while the process has one
  // thread (a run with writers holds a few hundred), and returns how many of
  // them the process may open.
  virtual std::size_t ReserveOpenFiles(std::size_t count) { return count; }
};

// The operating system's files (POSIX or Win32, chosen at build time).
FileSystem& SystemFiles();

}  // namespace quillmere
