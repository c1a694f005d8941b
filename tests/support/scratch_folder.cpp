#include "scratch_folder.h"

#include <atomic>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillmere::testing {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// Each path in its extended form: the library's remove_all stops at MAX_PATH.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
    const std::wstring name = found.cFileName, path = folder + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      ::RemoveDirectoryW(path.c_str()) || ::DeleteFileW(path.c_str());  // the link, never what it points to
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path);
    } else {
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(path.c_str());
    }
  }
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
  ::RemoveDirectoryW(folder.c_str());
}
#else
void RemoveTree(const fs::path& folder) {
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(folder, ignored);
}
#endif

}  // namespace

ScratchFolder::ScratchFolder(const fs::path& tag, const fs::path& under) {
  // Process ids come round again and the suites may run side by side, so a
  // random part makes the name new.
  static std::atomic<int> counter{0};
  std::ostringstream unique;
  unique << '-' << std::random_device{}() << '-' << ++counter;
  fs::path name = "quillmere-";
  name += tag;
  name += unique.str();
  const fs::path made = (under.empty() ? fs::temp_directory_path() : under) / name;
  fs::create_directories(made);
#ifdef _WIN32
  wchar_t longPath[MAX_PATH] = {};
  const DWORD length = ::GetLongPathNameW(made.c_str(), longPath, MAX_PATH);
  path_ = length && length < MAX_PATH ? fs::path(longPath) : made;
#else
  path_ = made;
#endif
}

ScratchFolder::~ScratchFolder() {
#ifdef _WIN32
  RemoveTree(L"\\\\?\\" + fs::absolute(path_).make_preferred().wstring());
#else
  RemoveTree(path_);
#endif
}

}  // namespace quillmere::testing
