#pragma once
#include <windows.h>

#include <string>

namespace quillmere::ui {

// Asks for the folder a split writes into, with the shell's folder browser
// (file-system folders only), modal to owner. Returns the folder's full path,
// with a trailing backslash only for a drive root ("C:\"); "" when the user
// cancels, when the item chosen has no file-system path, or on any failure.
// Never shows a message of its own. Only running out of memory throws.
std::wstring PickFolder(HWND owner, const std::wstring& title);

}  // namespace quillmere::ui
