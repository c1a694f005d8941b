#pragma once
#include <windows.h>

#include <string>
#include <utility>

namespace quillmere::ui {

// The open dialog's file-name capacity, in characters. A choice that does not
// fit is reported as too many files.
inline constexpr DWORD kFileNameCapacity = 1000;

// Holds the source file the next split reads, and lets the user replace it.
class SourceChooser {
 public:
  // Shows the open dialog for vCard files, modal to owner. True when a file
  // was chosen; it is then the selected source. A cancel or a failure keeps
  // the earlier selection; a failure is reported in a warning box first.
  bool Choose(HWND owner);

  // A file chosen another way (dropped on the window) becomes the selected
  // source just as one chosen in the dialog does.
  void Select(std::wstring path) { selected_ = std::move(path); }

  // The full path last chosen; "" until the first choice.
  const std::wstring& Selected() const noexcept { return selected_; }

 private:
  std::wstring selected_;
};

// The warning text for a failed open dialog, from CommDlgExtendedError.
std::wstring FileDialogFailureText(DWORD error);

}  // namespace quillmere::ui
