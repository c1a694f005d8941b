#pragma once
// clang-format off
#include <windows.h>
#include <shtypes.h>
// clang-format on

#include <optional>
#include <string>

namespace quillmere::ui {

// Asks for the folder a split writes into, with the shell's folder browser
// (file-system folders only), modal to owner. Returns the folder's full path,
// at any depth, with a trailing backslash only for a drive root ("C:\");
// "" when the user cancels or on any failure. An item chosen that has no
// file-system path (the shell may still offer one) is told in a warning box
// titled "Quillmere", and the result is "" too. Only running out of memory
// throws.
std::wstring PickFolder(HWND owner, const std::wstring& title);

// The file-system path of a folder item, however long; nullopt for an item
// that has none, or whose path the shell cannot give whole.
std::optional<std::wstring> FileSystemPathOf(PCIDLIST_ABSOLUTE item);

}  // namespace quillmere::ui
