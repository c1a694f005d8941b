// The run's files on POSIX systems: plain descriptors, errno for reasons.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>  // renameat2, where the C library has it
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "quillmere/file_system.h"

namespace quillmere {
namespace {

IoError LastError() {
  return {std::generic_category().message(errno)};
}

IoError ErrorText(int code) {
  return {std::generic_category().message(code)};
}

IoError NameError(int code) {
  IoError error = ErrorText(code);
  error.nameTaken = code == EEXIST;
  return error;
}

// How long a read of a pipe, FIFO or terminal waits before the run gets to
// look for a stop.
constexpr int kReadWaitMs = 20;

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
  // canWait: the descriptor (non-blocking) is a pipe, FIFO, terminal or the
  // like, whose reads may wait for a writer indefinitely.
  PosixSource(int fd, bool canWait) : fd_(fd), canWait_(canWait) {}

  std::size_t Read(std::span<std::byte> buffer, std::optional<IoError>& error) override {
    if (canWait_) {
      // A FIFO nobody has opened for writing yet reads as empty, not as
      // ended: poll waits for a writer (or data, or the last writer's
      // hang-up) first.
      pollfd ready{fd_.Get(), POLLIN, 0};
      const int polled = ::poll(&ready, 1, kReadWaitMs);
      if (polled == 0 || (polled < 0 && errno == EINTR)) return kNothingYet;
      if (polled < 0) {
        error = LastError();
        return 0;
      }
    }
    for (;;) {
      const ssize_t got = ::read(fd_.Get(), buffer.data(), buffer.size());
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno == EAGAIN || errno == EWOULDBLOCK) return kNothingYet;
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
  bool canWait_;
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
    // Non-blocking, so that a FIFO with no writer cannot hold up the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      error = LastError();
      return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd);
      error = ErrorText(EISDIR);
      return nullptr;
    }
    const bool canWait = !S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode);
    return std::make_unique<PosixSource>(fd, canWait);
  }

  std::unique_ptr<OutputFile> Create(const std::filesystem::path& path,
                                     std::optional<IoError>& error) override {
    // O_NOFOLLOW fails the open on a symbolic link instead of following it;
    // O_NONBLOCK fails it on a FIFO with no reader instead of waiting. A
    // FIFO with a reader, or a device, opens: fstat catches those.
    // A name that nothing has yet (the common case: a fresh folder) gets a
    // new regular file, with nothing to check about what was opened.
    if (const int fresh = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        fresh >= 0) {
      return std::make_unique<PosixOutput>(fresh);
    }
    int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int tries = 0; tries < 3; ++tries) {
      const int fd = ::open(path.c_str(), flags, 0666);
      const int openError = fd >= 0 ? EEXIST : errno;
      struct stat info {};
      if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        return std::make_unique<PosixOutput>(fd);
      if (fd >= 0) ::close(fd);
      // Something other than a regular file or a folder has the name: the
      // name itself goes, and from now on only a new file will do.
      const bool replaceable =
          ::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
      if (!replaceable) {
        error = ErrorText(openError);
        return nullptr;
      }
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = LastError();
        return nullptr;
      }
      flags |= O_EXCL;
    }
    error = ErrorText(EEXIST);
    return nullptr;
  }

  std::unique_ptr<OutputFile> CreateNew(const std::filesystem::path& path,
                                        std::optional<IoError>& error) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      const int code = errno;
      error = ErrorText(code);
      error->nameTaken = code == EEXIST;
      return nullptr;
    }
    return std::make_unique<PosixOutput>(fd);
  }

  std::optional<IoError> Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
    return std::nullopt;
  }

  std::optional<IoError> RenameNew(const std::filesystem::path& from,
                                   const std::filesystem::path& to) override {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return NameError(errno);
#endif
    // A file system without that flag: asked first, which leaves a moment
    // in which a file made under the name would be replaced.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) return NameError(EEXIST);
    return Rename(from, to);
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
    // Left blocking: the descriptor is shared with the shell, which must not
    // find its terminal non-blocking afterwards. Reads of a pipe or a
    // terminal wait in poll first, so a stop still lands at once.
    struct stat info {};
    const bool canWait = ::fstat(fd, &info) != 0 || (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode));
    return std::make_unique<PosixSource>(fd, canWait);
  }

  std::vector<FileId> MessageFiles() override {
    std::vector<FileId> files;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
      struct stat info {};
      if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        files.push_back(
            {static_cast<std::uint64_t>(info.st_dev), 0, static_cast<std::uint64_t>(info.st_ino)});
    }
    return files;
  }

  // Linux grows the table of open files as they are opened, and growing it
  // while threads share it waits for every processor to pass a quiet point:
  // several milliseconds on a virtual machine, twice a run, and always on the
  // thread that makes the files. A descriptor placed high, once, before the
  // writers start, grows it for good. A low limit (ulimit -n) is kept to,
  // leaving room for the files the process holds besides.
  std::size_t ReserveOpenFiles(std::size_t count) override {
    constexpr rlim_t kSpare = 8;  // files a run may open besides its cards'
    const rlim_t others = OpenFilesNow().value_or(32) + kSpare;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return count;
    const rlim_t allowed = limit.rlim_cur == RLIM_INFINITY ? count + others : limit.rlim_cur;
    if (allowed <= others) return 0;
    const rlim_t highest = std::min<rlim_t>(count + others, allowed - 1);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
      const int placed = ::fcntl(fd, F_DUPFD_CLOEXEC, static_cast<int>(highest));
      if (placed < 0) continue;  // closed: the table grows as it must
      ::close(placed);
      break;
    }
    return static_cast<std::size_t>(std::min<rlim_t>(count, allowed - others));
  }

 private:
  // The files open now: the standard streams and whatever the parent handed
  // down, which may be many. Nothing where /dev/fd cannot be read.
  static std::optional<rlim_t> OpenFilesNow() {
    DIR* const folder = ::opendir("/dev/fd");
    if (!folder) return std::nullopt;
    rlim_t entries = 0;
    while (const dirent* entry = ::readdir(folder)) {
      if (entry->d_name[0] != '.') ++entries;
    }
    ::closedir(folder);
    return entries > 0 ? entries - 1 : 0;  // less the folder's own
  }
};

}  // namespace

FileSystem& SystemFiles() {
  static PosixFiles files;
  return files;
}

}  // namespace quillmere
