// The run's files on POSIX systems: plain descriptors, errno for reasons.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "file_system.h"

namespace quillmere {
namespace {

IoError LastError() {
  return {std::generic_category().message(errno)};
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }
  int Get() const { return fd_; }
  int Close() {
    const int result = fd_ >= 0 ? ::close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

class PosixSource final : public SourceFile {
 public:
  explicit PosixSource(int fd) : fd_(fd) {}

  std::size_t Read(std::span<std::byte> buffer, std::optional<IoError>& error) override {
    for (;;) {
      const ssize_t got = ::read(fd_.Get(), buffer.data(), buffer.size());
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) {
        error = LastError();
        return 0;
      }
    }
  }

  FileId Id() const override {
    struct stat info {};
    if (::fstat(fd_.Get(), &info) != 0) return {};
    return {static_cast<std::uint64_t>(info.st_dev), 0, static_cast<std::uint64_t>(info.st_ino)};
  }

  bool MayHaveOtherNames() const override {
    struct stat info {};
    return ::fstat(fd_.Get(), &info) != 0 || info.st_nlink != 1;
  }

 private:
  Descriptor fd_;
};

class PosixOutput final : public OutputFile {
 public:
  explicit PosixOutput(int fd) : fd_(fd) {}

  std::optional<IoError> Write(std::span<const std::byte> data) override {
    while (!data.empty()) {
      const ssize_t put = ::write(fd_.Get(), data.data(), data.size());
      if (put < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      data = data.subspan(static_cast<std::size_t>(put));
    }
    return std::nullopt;
  }

  std::optional<IoError> Close() override {
    if (fd_.Close() != 0) return LastError();
    return std::nullopt;
  }

 private:
  Descriptor fd_;
};

class PosixFiles final : public FileSystem {
 public:
  std::unique_ptr<SourceFile> OpenSource(const std::filesystem::path& path,
                                         std::optional<IoError>& error) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error = LastError();
      return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd);
      error = IoError{std::generic_category().message(EISDIR)};
      return nullptr;
    }
    return std::make_unique<PosixSource>(fd);
  }

  std::unique_ptr<OutputFile> Create(const std::filesystem::path& path,
                                     std::optional<IoError>& error) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      error = LastError();
      return nullptr;
    }
    return std::make_unique<PosixOutput>(fd);
  }

  std::optional<IoError> Remove(const std::filesystem::path& path) override {
    if (::unlink(path.c_str()) != 0) return LastError();
    return std::nullopt;
  }

  bool IsEmptyFolder(const std::filesystem::path& path) override {
    std::error_code error;
    return std::filesystem::is_empty(path, error) && !error && std::filesystem::is_directory(path, error);
  }

  std::optional<FileId> IdOf(const std::filesystem::path& path) override {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(info.st_dev), 0, static_cast<std::uint64_t>(info.st_ino)};
  }

  std::unique_ptr<SourceFile> OpenStandardInput(std::optional<IoError>& error) override {
    // A descriptor of our own, so that closing the source leaves the
    // process's standard input alone.
    const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) {
      error = LastError();
      return nullptr;
    }
    return std::make_unique<PosixSource>(fd);
  }
};

}  // namespace

FileSystem& SystemFiles() {
  static PosixFiles files;
  return files;
}

}  // namespace quillmere
