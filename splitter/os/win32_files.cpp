// The run's files on Windows: wide-character Win32 calls, and the system's
// own message text for every failure.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>

#include "file_system.h"
#include "win32_handle.h"

namespace quillmere {
namespace {

IoError ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = length && text ? std::wstring(text, length) : std::wstring();
  if (text) LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n' || reason.back() == L' ')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = L"Windows error " + std::to_wstring(code) + L".";
  return {reason};
}

IoError LastError() {
  return ErrorText(GetLastError());
}

// How long a read of a pipe waits for data before the run gets to look for
// a stop.
constexpr DWORD kPipeWaitMs = 20;

// A pipe source: waits a little for data. Returns the bytes ready to read
// (0 with `ended` set once the writer has gone), or nothing when none came.
std::optional<DWORD> PipeBytesReady(HANDLE pipe, bool& ended, std::optional<IoError>& error) {
  DWORD ready = 0;
  for (DWORD waited = 0;; waited += 5) {
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &ready, nullptr)) {
      const DWORD code = GetLastError();
      ended = code == ERROR_BROKEN_PIPE;
      if (!ended) error = ErrorText(code);
      return 0;
    }
    if (ready > 0) return ready;
    if (waited >= kPipeWaitMs) return std::nullopt;
    Sleep(5);
  }
}

// Opens a file of that name for output, creating or truncating it, but
// never through a symbolic link or junction: the name is opened itself
// (FILE_FLAG_OPEN_REPARSE_POINT), and a reparse point found there is removed
// and a new file made in its place. For a new name or a plain file this
// costs one handle query besides the open.
HANDLE CreateNotThroughLinks(const wchar_t* path) {
  constexpr DWORD kShareNone = 0;
  HANDLE handle = CreateFileW(path, GENERIC_WRITE, kShareNone, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return handle;
    }
    CloseHandle(handle);
  }
  const DWORD openError = GetLastError();
  // A link to a folder cannot be opened for writing at all: find it by name.
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetLastError(openError);
    return INVALID_HANDLE_VALUE;
  }
  const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path) : DeleteFileW(path);
  if (!removed) return INVALID_HANDLE_VALUE;
  return CreateFileW(path, GENERIC_WRITE, kShareNone, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::optional<FileId> IdOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

class Win32Source final : public SourceFile {
 public:
  explicit Win32Source(HANDLE handle) : file_(handle), pipe_(GetFileType(handle) == FILE_TYPE_PIPE) {}

  std::size_t Read(std::span<std::byte> buffer, std::optional<IoError>& error) override {
    DWORD got = 0;
    auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
    if (pipe_) {
      // A pipe's writer may keep the read waiting: read only what is there.
      bool ended = false;
      const auto ready = PipeBytesReady(file_.get(), ended, error);
      if (!ready) return kNothingYet;
      if (*ready == 0) return 0;
      want = std::min(want, *ready);
    }
    if (!ReadFile(file_.get(), buffer.data(), want, &got, nullptr)) {
      if (pipe_ && GetLastError() == ERROR_BROKEN_PIPE) return 0;
      error = LastError();
      return 0;
    }
    return got;
  }

  FileId Id() const override { return IdOfHandle(file_.get()).value_or(FileId{}); }

  bool MayHaveOtherNames() const override {
    BY_HANDLE_FILE_INFORMATION info{};
    return !GetFileInformationByHandle(file_.get(), &info) || info.nNumberOfLinks != 1;
  }

 private:
  win32::UniqueFile file_;
  bool pipe_;
};

class Win32Output final : public OutputFile {
 public:
  explicit Win32Output(HANDLE handle) : file_(handle) {}

  std::optional<IoError> Write(std::span<const std::byte> data) override {
    while (!data.empty()) {
      DWORD put = 0;
      const auto want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
      if (!WriteFile(file_.get(), data.data(), want, &put, nullptr)) return LastError();
      if (put == 0) return ErrorText(ERROR_WRITE_FAULT);
      data = data.subspan(put);
    }
    return std::nullopt;
  }

  std::optional<IoError> Close() override {
    // Closing is where a delayed write error shows up.
    if (file_ && !CloseHandle(file_.release())) return LastError();
    return std::nullopt;
  }

 private:
  win32::UniqueFile file_;
};

class Win32Files final : public FileSystem {
 public:
  std::unique_ptr<SourceFile> OpenSource(const std::filesystem::path& path,
                                         std::optional<IoError>& error) override {
    // Other programs may keep the source open, even for writing: we only read.
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = LastError();
      return nullptr;
    }
    return std::make_unique<Win32Source>(handle);
  }

  std::unique_ptr<OutputFile> Create(const std::filesystem::path& path,
                                     std::optional<IoError>& error) override {
    const HANDLE handle = CreateNotThroughLinks(path.c_str());
    if (handle == INVALID_HANDLE_VALUE) {
      error = LastError();
      return nullptr;
    }
    return std::make_unique<Win32Output>(handle);
  }

  std::unique_ptr<OutputFile> CreateNew(const std::filesystem::path& path,
                                        std::optional<IoError>& error) override {
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      error = ErrorText(code);
      error->nameTaken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
      return nullptr;
    }
    return std::make_unique<Win32Output>(handle);
  }

  std::optional<IoError> Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    // Replaces a file or a link of that name (the link itself); a folder of
    // that name refuses.
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastError();
    return std::nullopt;
  }

  std::optional<IoError> Remove(const std::filesystem::path& path) override {
    if (!DeleteFileW(path.c_str())) return LastError();
    return std::nullopt;
  }

  bool IsEmptyFolder(const std::filesystem::path& path) override {
    std::error_code error;
    return std::filesystem::is_empty(path, error) && !error && std::filesystem::is_directory(path, error);
  }

  std::optional<FileId> IdOf(const std::filesystem::path& path) override {
    // No access rights asked: this works even on a file another program
    // holds open without sharing.
    win32::UniqueFile file(CreateFileW(path.c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return std::nullopt;
    return IdOfHandle(file.get());
  }
};

}  // namespace

FileSystem& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace quillmere
