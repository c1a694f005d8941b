#pragma once
// The one core of the tests' Win32 drivers: waiting with a limit, finding a
// process's windows and the controls in them, telling the platform's
// dialogs apart, selecting in the folder browser and reading message boxes,
// as a user sees them. DialogScript works the test's own process with it and
// RemoteProgram a program it started; they differ only in the process a
// message points into: a pointer into the test's own memory, or a block
// allocated in the other process and written through its handle.
//
// Under Wine a click that may open a modal dialog is posted (never sent: the
// sender would block until the dialog closes), and every message that
// answers is sent with a time limit, so a hung window fails a test instead
// of stopping it.
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quillmere::driver {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Calls probe every interval until it gives a value that tests true or the
// limit has passed; returns the last value probed.
template <typename Probe>
auto WaitFor(Probe probe, milliseconds limit, milliseconds interval = milliseconds(20)) -> decltype(probe()) {
  const auto end = Clock::now() + limit;
  for (;;) {
    auto value = probe();
    if (value || Clock::now() >= end) return value;
    ::Sleep(static_cast<DWORD>(interval.count()));
  }
}

// Why windows cannot be shown here (no display), or nullopt when they can.
std::optional<std::string> NoDisplay();

// Skips the calling test, saying why, where no window can be shown.
#define QUILLMERE_SKIP_WITHOUT_DISPLAY() \
  if (const auto why = ::quillmere::driver::NoDisplay()) GTEST_SKIP() << *why

// UTF-8 for messages and logs.
std::string Narrow(const std::wstring& text);

// "/work/x/y" -> "Z:\work\x\y" (Wine maps Z: to the Unix root); a path that
// already has a drive is only given backslashes.
std::wstring WindowsPath(const std::string& path);

// A message sent with a limit; nullopt when the window did not answer.
std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, milliseconds limit);

// The window's text (WM_GETTEXT); nullopt when it does not answer or is gone.
std::optional<std::wstring> TextOf(HWND window, milliseconds limit = milliseconds(2000));

// True when the window's thread answers a WM_NULL within the limit.
bool Answers(HWND window, milliseconds limit);

// A button press as a user's click is seen by the program: posted.
void Click(HWND button);

// Alt+<key> as the keyboard delivers it: key down and key up with the Alt
// bit set, posted to the control that has the focus in the window's thread.
void PressAltKey(HWND window, wchar_t key);

// A visible top-level window of the process (any process when pid is 0)
// with this caption (any when null) and class (any when null).
HWND FindTopLevel(DWORD pid, const wchar_t* caption, const wchar_t* className = nullptr);

// A visible dialog (#32770) of the process that holds a child control with
// this class (nullptr: any) and id (-1: any).
HWND FindDialogWith(DWORD pid, const wchar_t* childClass, int childId);

// A child window anywhere below parent of this class (nullptr: any) and id
// (-1: any).
HWND FindChild(HWND parent, const wchar_t* childClass, int childId);

// A child window anywhere below parent whose text is exactly text.
HWND FindChildWithText(HWND parent, const std::wstring& text);

// Presses a button of a dialog (IDOK, IDCANCEL) and waits until it is gone.
bool PressAndWaitClosed(HWND dialog, int buttonId, milliseconds limit);
bool PressOkAndWaitClosed(HWND dialog, milliseconds limit);

enum class BoxIcon { None, Information, Warning, Other };

// What a message box showed.
struct MessageBoxSeen {
  HWND box = nullptr;
  std::wstring title;
  std::wstring text;
  BoxIcon icon = BoxIcon::None;
  HWND owner = nullptr;
};

// A block of memory a message to a window of the process may point into:
// the test's own memory when process is null, else allocated in the other
// process and released when the owner goes.
class ProcessMemory {
 public:
  ProcessMemory(HANDLE process, SIZE_T size);
  ProcessMemory(const ProcessMemory&) = delete;
  ProcessMemory& operator=(const ProcessMemory&) = delete;
  ~ProcessMemory();

  void* Address() const noexcept { return address_; }
  explicit operator bool() const noexcept { return address_ != nullptr; }
  bool Write(const void* data, SIZE_T size, SIZE_T offset = 0) const;
  bool Read(void* data, SIZE_T size, SIZE_T offset = 0) const;

 private:
  HANDLE process_;
  std::vector<char> own_;
  void* address_;
};

// The text of the item selected in a tree view of the process (null: this
// process).
std::optional<std::wstring> SelectedTreeItemText(HANDLE process, HWND tree);

// The platform's dialogs as one process shows them.
class Dialogs {
 public:
  // process: the handle of another process, or null for the test's own.
  Dialogs(DWORD pid, HANDLE process) : pid_(pid), process_(process) {}

  HWND WaitForDialog(const wchar_t* childClass, int childId, milliseconds limit) const;
  HWND WaitForOpenDialog(milliseconds limit) const;
  HWND WaitForFolderBrowser(milliseconds limit) const;
  // Dialog templates give many labels the id 0xFFFF too; a message box is a
  // dialog with that label and no file list, file-name field or folder tree.
  HWND WaitForMessageBox(milliseconds limit) const;

  // Puts path into the open dialog's file-name field.
  bool TypeFileName(HWND openDialog, const std::wstring& path, milliseconds limit) const;

  // Selects folder in the folder browser, again and again until its tree
  // shows it selected (Wine often ignores a process's first selection).
  bool SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit) const;

  // The box's title, message, icon and owner; nullopt when it does not answer.
  std::optional<MessageBoxSeen> ReadMessageBox(HWND box) const;

 private:
  DWORD pid_;
  HANDLE process_;
};

}  // namespace quillmere::driver
