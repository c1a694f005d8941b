#pragma once
// Works the platform's own dialogs that this process shows, as a user would:
// find the dialog, fill its file-name field or pick a folder, press a button,
// read a message box. The test's own thread is blocked inside the modal call
// (or pumps messages), so the work is done from a helper thread. A front to
// the shared core (window_driver.h) for the test's own process.
#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "window_driver.h"

namespace quillmere::testing {

using driver::BoxIcon;
using driver::MessageBoxSeen;
using std::chrono::milliseconds;

inline constexpr milliseconds kDialogLimit{10000};

// The platform's dialogs as this process shows them.
inline driver::Dialogs OwnDialogs() {
  return driver::Dialogs(GetCurrentProcessId(), nullptr);
}

// A visible dialog (#32770) of this process that holds a child window of
// childClass (nullptr: any class) with childId (-1: any id); waits up to
// limit for it.
inline HWND WaitForOwnDialog(const wchar_t* childClass, int childId, milliseconds limit = kDialogLimit) {
  return OwnDialogs().WaitForDialog(childClass, childId, limit);
}
inline HWND WaitForOpenDialog(milliseconds limit = kDialogLimit) {
  return OwnDialogs().WaitForOpenDialog(limit);
}
inline HWND WaitForFolderBrowser(milliseconds limit = kDialogLimit) {
  return OwnDialogs().WaitForFolderBrowser(limit);
}
inline HWND WaitForMessageBox(milliseconds limit = kDialogLimit) {
  return OwnDialogs().WaitForMessageBox(limit);
}
inline bool TypeFileName(HWND openDialog, const std::wstring& path) {
  return OwnDialogs().TypeFileName(openDialog, path, kDialogLimit);
}
inline bool SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit = kDialogLimit) {
  return OwnDialogs().SelectFolder(browser, folder, limit);
}
inline bool PressAndWaitClosed(HWND dialog, int buttonId, milliseconds limit = kDialogLimit) {
  return driver::PressAndWaitClosed(dialog, buttonId, limit);
}

// What the box showed (only its handle when it does not answer).
MessageBoxSeen ReadMessageBox(HWND box);

// The window's text; empty when it has none or does not answer.
inline std::wstring TextOf(HWND window) {
  return driver::TextOf(window, kDialogLimit).value_or(L"");
}

// Runs a script on a helper thread and waits for it when it goes out of
// scope. The script must end every dialog it finds, so the blocked test
// thread always gets back.
class DialogScript {
 public:
  explicit DialogScript(std::function<void()> script) : thread_(std::move(script)) {}
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;
  ~DialogScript() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

// Dispatches this thread's messages until done() is true or the limit has
// passed; returns done(). A WM_QUIT met on the way is put back. With a
// keyboardWindow, its dialog keys (Tab, access keys) are handled as the
// program's own message loop handles them.
bool PumpUntil(const std::function<bool()>& done, milliseconds limit = kDialogLimit,
               HWND keyboardWindow = nullptr);

}  // namespace quillmere::testing
