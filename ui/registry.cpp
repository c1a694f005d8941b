#include "registry.h"

#include <shlobj.h>

#include "control_ids.h"
#include "quillmere/win32_paths.h"
#include "win32_handle.h"

namespace quillmere::ui {

namespace {

// The longest path the system takes, in characters with the terminator: a
// MAX_PATH buffer gives "" for any folder deeper than 260.
constexpr DWORD kLongPathCapacity = 32768;

void SayItemHasNoPath(HWND owner, PCIDLIST_ABSOLUTE item) {
  std::wstring name = L"The item chosen";
  wchar_t* display = nullptr;
  if (SUCCEEDED(SHGetNameFromIDList(item, SIGDN_NORMALDISPLAY, &display)) && display != nullptr) {
    name = L"\"" + std::wstring(display) + L"\"";
    CoTaskMemFree(display);
  }
  const std::wstring text =
      name +
      L" is not a folder on a disk, so no files can be saved in it. Choose a folder on a drive "
      L"or a network share.";
  MessageBoxW(owner, text.c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
}

}  // namespace

std::optional<std::wstring> FileSystemPathOf(PCIDLIST_ABSOLUTE item) {
  std::wstring path(kLongPathCapacity, L'\0');
  if (!SHGetPathFromIDListEx(item, path.data(), kLongPathCapacity, GPFIDL_DEFAULT)) return std::nullopt;
  path.resize(path.find(L'\0'));
  // A shell that cuts long paths short (Wine's does, at MAX_PATH) names
  // some other folder, or none: cards must never go there.
  const DWORD attributes = GetFileAttributesW(win32::ExtendedLengthPath(path).c_str());
  if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return path;
}

std::wstring PickFolder(HWND owner, const std::wstring& title) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;        // the whole namespace, from the desktop
  info.pszDisplayName = nullptr;  // the path comes from the item list
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;

  const win32::UniquePidl item(SHBrowseForFolderW(&info));
  if (!item) return {};
  if (auto path = FileSystemPathOf(item.get())) return std::move(*path);
  // Not a cancel: the user chose something and must hear why nothing
  // happens.
  SayItemHasNoPath(owner, item.get());
  return {};
}

}  // namespace quillmere::ui
