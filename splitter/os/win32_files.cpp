// The run's files on Windows: wide-character Win32 calls, and the system's
// own message text for every failure.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "quillmere/file_system.h"
#include "quillmere/win32_paths.h"
#include "win32_handle.h"

namespace quillmere {

namespace win32 {

std::wstring ExtendedLengthPath(std::wstring_view path) {
  constexpr std::wstring_view kExtended = L"\\\\?\\", kDevice = L"\\\\.\\", kNt = L"\\??\\";
  if (path.empty() || path.starts_with(kExtended) || path.starts_with(kDevice) || path.starts_with(kNt)) {
    return std::wstring(path);
  }
  // The system's own resolution of the plain path: the current folder for a
  // relative one, "/" as "\\", "." and ".." parts, trailing dots and spaces.
  const std::wstring plain(path);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(plain.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return plain;
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);  // the size needed, with its terminator
  }
  if (full.starts_with(kExtended) || full.starts_with(kDevice)) return full;  // "//?/...", "CON"
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return std::wstring(kExtended) + full;
  return full;
}

}  // namespace win32

namespace {

// OneDrive, the Explorer preview pane or a virus scanner may hold a file for
// a moment just after it was written; only a longer hold is a failure.
constexpr ULONGLONG kBusyRetryMs = 1000;
constexpr DWORD kBusyPauseMs = 25;

bool IsHeldError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Calls attempt (a Win32 call that sets the last error when it returns
// false) again while held(error) says another program holds the file, for
// about a second. The last error is that of the last attempt.
template <typename Attempt, typename Held>
bool RetryWhile(Attempt attempt, Held held) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (attempt()) return true;
    const DWORD error = GetLastError();
    if (!held(error) || GetTickCount64() - start >= kBusyRetryMs) {
      SetLastError(error);
      return false;
    }
    Sleep(kBusyPauseMs);
  }
}

template <typename Attempt>
bool RetryWhileHeld(Attempt attempt) {
  return RetryWhile(attempt, IsHeldError);
}

// A file that only an open handle keeps from being replaced: not a folder,
// and none of the attributes that refuse a replacement for good.
bool IsPlainFile(const std::wstring& path) {
  constexpr DWORD kRefusing =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kRefusing) == 0;
}

// MoveFileExW onto a name another program holds open fails with access
// denied, not with a sharing violation; such a hold passes like any other.
template <typename Attempt>
bool RetryRenameWhileHeld(Attempt attempt, const std::wstring& target) {
  return RetryWhile(attempt, [&](DWORD error) {
    return IsHeldError(error) || (error == ERROR_ACCESS_DENIED && IsPlainFile(target));
  });
}

// Whether Windows Security's controlled folder access is blocking (not only
// auditing). The setting lives in the 64-bit registry view, which a 32-bit
// program reaches only by asking for it.
bool ControlledFolderAccessIsOn() {
  constexpr const wchar_t* kKeys[] = {
      L"SOFTWARE\\Policies\\Microsoft\\Windows Defender\\Windows Defender Exploit Guard\\Controlled Folder "
      L"Access",
      L"SOFTWARE\\Microsoft\\Windows Defender\\Windows Defender Exploit Guard\\Controlled Folder Access"};
  for (const wchar_t* name : kKeys) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, name, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
      continue;
    }
    DWORD value = 0, size = sizeof value, type = 0;
    const LSTATUS status = RegQueryValueExW(key, L"EnableControlledFolderAccess", nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS && type == REG_DWORD) return value == 1;
  }
  return false;
}

}  // namespace

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

bool IsReparsePoint(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes the symbolic link or junction of that name itself, never what it
// leads to: the name is opened itself, checked to be a reparse point and
// deleted through that one handle, so what goes is what was checked. False
// (and nothing removed) for anything else, a folder above all.
bool RemoveLinkItself(const wchar_t* path) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  win32::UniqueFile link(CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!link || !IsReparsePoint(link.get())) return false;
  FILE_DISPOSITION_INFO remove{TRUE};
  return SetFileInformationByHandle(link.get(), FileDispositionInfo, &remove, sizeof remove);
}

// Opens a file of that name for output, creating or truncating it, but
// never through a symbolic link or junction: the name is opened itself
// (FILE_FLAG_OPEN_REPARSE_POINT), and a reparse point found there is removed
// and a new file made in its place. For a new name or a plain file this
// costs one handle query besides the open.
HANDLE CreateNotThroughLinks(const wchar_t* path) {
  constexpr DWORD kShareNone = 0;
  const HANDLE handle = CreateFileW(path, GENERIC_WRITE, kShareNone, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD openError = GetLastError();
  if (handle != INVALID_HANDLE_VALUE) {
    if (!IsReparsePoint(handle)) return handle;
    CloseHandle(handle);
    openError = ERROR_ACCESS_DENIED;
  }
  // A link to a folder cannot be opened for writing at all, so it lands
  // here too.
  if (!RemoveLinkItself(path)) {
    SetLastError(openError);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(path, GENERIC_WRITE, kShareNone, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// "Access is denied" alone sends the user looking at folder permissions;
// say what else keeps the program from making or replacing a file there.
IoError CreateFailure(const std::wstring& path, DWORD code) {
  IoError failure = ErrorText(code);
  if (code != ERROR_ACCESS_DENIED) return failure;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
      failure.reason +=
          L" A hidden or system file of this name is in the folder, and Windows does not let it "
          L"be replaced.";
      return failure;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      failure.reason += L" A read-only file of this name is in the folder.";
      return failure;
    }
  }
  if (ControlledFolderAccessIsOn()) {
    failure.reason +=
        L" Controlled folder access in Windows Security may be protecting this folder: allow "
        L"Quillmere there, or choose another folder.";
  }
  return failure;
}

// The 128-bit id where the file system offers one: ReFS (and so Dev Drive)
// does not promise that the 64-bit index is unique. The 64-bit index sits in
// the low half, as it does in the 128-bit id of NTFS.
std::optional<FileId> IdOfHandle(HANDLE handle) {
  FILE_ID_INFO id{};
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
    std::uint64_t low = 0, high = 0;
    static_assert(sizeof id.FileId.Identifier == sizeof low + sizeof high);
    std::memcpy(&low, id.FileId.Identifier, sizeof low);
    std::memcpy(&high, id.FileId.Identifier + sizeof low, sizeof high);
    return FileId{id.VolumeSerialNumber, high, low};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber, 0,
                (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
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
    const HANDLE handle = CreateFileW(win32::ExtendedLengthPath(path.native()).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = LastError();
      return nullptr;
    }
    return std::make_unique<Win32Source>(handle);
  }

  std::unique_ptr<OutputFile> Create(const std::filesystem::path& path,
                                     std::optional<IoError>& error) override {
    const std::wstring name = win32::ExtendedLengthPath(path.native());
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!RetryWhileHeld([&] {
          handle = CreateNotThroughLinks(name.c_str());
          return handle != INVALID_HANDLE_VALUE;
        })) {
      error = CreateFailure(name, GetLastError());
      return nullptr;
    }
    return std::make_unique<Win32Output>(handle);
  }

  std::unique_ptr<OutputFile> CreateNew(const std::filesystem::path& path,
                                        std::optional<IoError>& error) override {
    const std::wstring name = win32::ExtendedLengthPath(path.native());
    const HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      error = CreateFailure(name, code);
      error->nameTaken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
      return nullptr;
    }
    return std::make_unique<Win32Output>(handle);
  }

  std::optional<IoError> Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    // Replaces a file or a link of that name (the link itself); a folder of
    // that name refuses.
    const std::wstring source = win32::ExtendedLengthPath(from.native());
    const std::wstring target = win32::ExtendedLengthPath(to.native());
    if (!RetryRenameWhileHeld(
            [&] { return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0; },
            target)) {
      return CreateFailure(target, GetLastError());
    }
    return std::nullopt;
  }

  std::optional<IoError> RenameNew(const std::filesystem::path& from,
                                   const std::filesystem::path& to) override {
    const std::wstring source = win32::ExtendedLengthPath(from.native());
    const std::wstring target = win32::ExtendedLengthPath(to.native());
    if (!RetryRenameWhileHeld([&] { return MoveFileExW(source.c_str(), target.c_str(), 0) != 0; }, target)) {
      const DWORD code = GetLastError();
      IoError error = CreateFailure(target, code);
      error.nameTaken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
      return error;
    }
    return std::nullopt;
  }

  std::optional<IoError> Remove(const std::filesystem::path& path) override {
    const std::wstring name = win32::ExtendedLengthPath(path.native());
    if (!RetryWhileHeld([&] { return DeleteFileW(name.c_str()) != FALSE; })) return LastError();
    return std::nullopt;
  }

  bool IsEmptyFolder(const std::filesystem::path& path) override {
    std::wstring pattern = win32::ExtendedLengthPath(path.native());
    const DWORD attributes = GetFileAttributesW(pattern.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    if (!pattern.ends_with(L'\\')) pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    // A drive root has no "." entry: an empty one finds nothing at all.
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool empty = true;
    do {
      const std::wstring_view entry = found.cFileName;
      if (entry != L"." && entry != L"..") empty = false;
    } while (empty && FindNextFileW(search, &found));
    FindClose(search);
    return empty;
  }

  std::optional<FileId> IdOf(const std::filesystem::path& path) override {
    // No access rights asked: this works even on a file another program
    // holds open without sharing.
    win32::UniqueFile file(CreateFileW(win32::ExtendedLengthPath(path.native()).c_str(), 0,
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

  // Only disk files: a console or a pipe has no identity a card's file
  // could share, and asking a console for one may fail in odd ways.
  std::vector<FileId> MessageFiles() override {
    std::vector<FileId> files;
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
      const HANDLE handle = GetStdHandle(which);
      if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK)
        continue;
      if (const auto id = IdOfHandle(handle)) files.push_back(*id);
    }
    return files;
  }
};

}  // namespace

FileSystem& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace quillmere
