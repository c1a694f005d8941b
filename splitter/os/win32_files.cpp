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

std::optional<FileId> IdOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

class Win32Source final : public SourceFile {
 public:
  explicit Win32Source(HANDLE handle) : file_(handle) {}

  std::size_t Read(std::span<std::byte> buffer, std::optional<IoError>& error) override {
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
    if (!ReadFile(file_.get(), buffer.data(), want, &got, nullptr)) {
      // A pipe whose writer has closed it has simply ended.
      if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
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
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = LastError();
      return nullptr;
    }
    return std::make_unique<Win32Output>(handle);
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

  std::unique_ptr<SourceFile> OpenStandardInput(std::optional<IoError>& error) override {
    // A handle of our own, so that closing the source leaves the process's
    // standard input alone.
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE own = nullptr;
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
      error = ErrorText(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    if (!DuplicateHandle(GetCurrentProcess(), input, GetCurrentProcess(), &own, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      error = LastError();
      return nullptr;
    }
    return std::make_unique<Win32Source>(own);
  }
};

}  // namespace

FileSystem& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace quillmere
