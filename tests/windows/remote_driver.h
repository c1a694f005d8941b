#pragma once
// Drives a Windows program from another process, the way a user would: start
// it, find its window, press its buttons, fill the platform's open-file dialog
// and folder browser, read its message boxes, and end it. Every wait has a
// limit, so a program that hangs fails a test instead of stopping it.
//
// Under Wine a click that opens a modal dialog is posted (never sent: the
// sender would block until the dialog closes), texts are read with
// WM_GETTEXT (marshalled between processes), and anything that needs a
// pointer in the program (the folder browser's selection, a tree item) goes
// through memory allocated in the program itself.
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

#include "win32_handle.h"

namespace quillmere::remote {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Calls probe every few milliseconds until it gives a value that tests true
// or the limit has passed; returns the last value probed.
template <typename Probe>
auto WaitFor(Probe probe, milliseconds limit, milliseconds interval = milliseconds(20)) -> decltype(probe()) {
  const auto end = Clock::now() + limit;
  for (;;) {
    auto value = probe();
    if (value || Clock::now() >= end) return value;
    ::Sleep(static_cast<DWORD>(interval.count()));
  }
}

// UTF-8 for messages and logs.
std::string Narrow(const std::wstring& text);

// "/work/x/y" -> "Z:\work\x\y" (Wine maps Z: to the Unix root); a path that
// already has a drive is only given backslashes.
std::wstring WindowsPath(const std::string& path);

// The window's text, read with WM_GETTEXT; nullopt when the window does not
// answer within the limit or is gone.
std::optional<std::wstring> TextOf(HWND window, milliseconds limit = milliseconds(2000));

// True when the window's thread answers a WM_NULL within the limit.
bool Answers(HWND window, milliseconds limit);

// A button press as a user's click is seen by the program. Posted, so the
// caller goes on while a dialog that the press opens is shown.
void Click(HWND button);

// Alt+<key> as the keyboard delivers it: key down and key up with the Alt
// bit set, posted to the control that has the focus in the window's thread.
// The program's own TranslateMessage makes the WM_SYSCHAR that presses an
// access key.
void PressAltKey(HWND window, wchar_t key);

// A visible top-level window of the process (any process when pid is 0)
// with this caption (any class when className is null).
HWND FindTopLevel(DWORD pid, const wchar_t* caption, const wchar_t* className = nullptr);

// A visible dialog (#32770) of the process that holds a child control with
// this class (nullptr: any) and id (-1: any).
HWND FindDialogWith(DWORD pid, const wchar_t* childClass, int childId);

// A child window anywhere below parent whose text is exactly text.
HWND FindChildWithText(HWND parent, const std::wstring& text);

// A block of memory inside another process, released when the owner goes.
class RemoteMemory {
 public:
  RemoteMemory(HANDLE process, SIZE_T size);
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  ~RemoteMemory();

  void* Address() const noexcept { return address_; }
  explicit operator bool() const noexcept { return address_ != nullptr; }
  bool Write(const void* data, SIZE_T size, SIZE_T offset = 0) const;
  bool Read(void* data, SIZE_T size, SIZE_T offset = 0) const;

 private:
  HANDLE process_;
  void* address_;
};

// The text of the item selected in a tree view of another process.
std::optional<std::wstring> SelectedTreeItemText(HANDLE process, HWND tree);

// What a message box showed: its title and the text of its message.
struct MessageBoxSeen {
  HWND box = nullptr;
  std::wstring title;
  std::wstring text;
};

// A program started by the test. Ends the program (if it still runs) when
// the owner goes, so a failing test leaves nothing behind.
class RemoteProgram {
 public:
  // Starts exe with args and waits until it waits for input; throws
  // std::runtime_error naming the program and the system's reason.
  RemoteProgram(const std::wstring& exe, const std::wstring& args = {});
  RemoteProgram(const RemoteProgram&) = delete;
  RemoteProgram& operator=(const RemoteProgram&) = delete;
  ~RemoteProgram();

  DWORD Pid() const noexcept { return pid_; }
  HANDLE Process() const noexcept { return process_.get(); }

  // The program's visible top-level window with this caption.
  HWND WaitForWindow(const wchar_t* caption, milliseconds limit) const;

  // Waits for the open-file dialog and returns it (nullptr on time-out).
  HWND WaitForOpenDialog(milliseconds limit) const;

  // Puts path into the open-file dialog's file-name field and presses OK;
  // true when the dialog then closed.
  bool ChooseFile(HWND dialog, const std::wstring& path, milliseconds limit) const;

  // Waits for the folder browser and returns it (nullptr on time-out).
  HWND WaitForFolderBrowser(milliseconds limit) const;

  // Selects folder in the open folder browser, sent again until the tree
  // shows it (Wine sometimes ignores the first selection of a process).
  bool SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit) const;

  // SelectFolder, then OK; true when the dialog then closed.
  bool ChooseFolder(HWND browser, const std::wstring& folder, milliseconds limit) const;

  // Waits for a message box of the program.
  std::optional<MessageBoxSeen> WaitForMessageBox(milliseconds limit) const;

  bool WaitForExit(milliseconds limit) const;

  // Lets the program go on after the owner goes (for a user to look at).
  void LeaveRunning();

  // Asks the window to close, then ends the process if it does not.
  void Close(HWND window, milliseconds limit = milliseconds(5000));

 private:
  win32::UniqueHandle process_;
  win32::UniqueHandle thread_;
  DWORD pid_ = 0;
};

// Presses OK (or the only button) of a dialog and waits until it is gone.
bool PressOkAndWaitClosed(HWND dialog, milliseconds limit);

}  // namespace quillmere::remote
