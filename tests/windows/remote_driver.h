#pragma once
// Drives a Windows program from another process, the way a user would: start
// it, find its window, press its buttons, fill the platform's open-file dialog
// and folder browser, read its message boxes, and end it. A front to the
// shared core (window_driver.h), whose finders and waits are reached as
// remote::WaitFor, remote::TextOf, ...; what needs a pointer in the program
// (the folder browser's selection, a tree item) goes through memory
// allocated in the program itself.
#include <windows.h>

#include <optional>
#include <string>

#include "win32_handle.h"
#include "window_driver.h"

namespace quillmere::remote {

using namespace driver;
using RemoteMemory = ProcessMemory;

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

  // The open-file dialog and the folder browser (nullptr on time-out).
  HWND WaitForOpenDialog(milliseconds limit) const { return Shown().WaitForOpenDialog(limit); }
  HWND WaitForFolderBrowser(milliseconds limit) const { return Shown().WaitForFolderBrowser(limit); }

  // Puts path into the open-file dialog's file-name field and presses OK;
  // true when the dialog then closed.
  bool ChooseFile(HWND dialog, const std::wstring& path, milliseconds limit) const;

  // Selects folder in the open folder browser, sent again until the tree
  // shows it (Wine sometimes ignores the first selection of a process).
  bool SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit) const {
    return Shown().SelectFolder(browser, folder, limit);
  }

  // SelectFolder, then OK; true when the dialog then closed.
  bool ChooseFolder(HWND browser, const std::wstring& folder, milliseconds limit) const;

  // Waits for a message box of the program and reads it.
  std::optional<MessageBoxSeen> WaitForMessageBox(milliseconds limit) const;

  bool WaitForExit(milliseconds limit) const;

  // Lets the program go on after the owner goes (for a user to look at).
  void LeaveRunning();

  // Asks the window to close, then ends the process if it does not.
  void Close(HWND window, milliseconds limit = milliseconds(5000));

 private:
  Dialogs Shown() const { return Dialogs(pid_, process_.get()); }
  void EndWithin(milliseconds limit);

  win32::UniqueHandle process_;
  win32::UniqueHandle thread_;
  DWORD pid_ = 0;
};

}  // namespace quillmere::remote
