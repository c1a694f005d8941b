#include "registry.h"

#include <shlobj.h>

#include "win32_handle.h"

namespace quillmere::ui {

std::wstring PickFolder(HWND owner, const std::wstring& title) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;        // the whole namespace, from the desktop
  info.pszDisplayName = nullptr;  // the path comes from the item list
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;

  const win32::UniquePidl item(SHBrowseForFolderW(&info));
  if (!item) return {};

  // An item without a file-system path leaves the buffer empty, and that
  // is the answer.
  wchar_t path[MAX_PATH] = {};
  SHGetPathFromIDListW(item.get(), path);
  return std::wstring(path);
}

}  // namespace quillmere::ui
