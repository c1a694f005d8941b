#pragma once
// Works the platform's own dialogs that this process shows, as a user would:
// find the dialog, fill its file-name field or pick a folder, press a button,
// read a message box. The test's own thread is blocked inside the modal call
// (or pumps messages), so the work is done from a helper thread.
#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace quillmere::testing {

using std::chrono::milliseconds;

inline constexpr milliseconds kDialogLimit{10000};

// A visible dialog (#32770) of this process that holds a child window of
// childClass (nullptr: any class) with childId (-1: any id); waits up to
// limit for it.
HWND WaitForOwnDialog(const wchar_t* childClass, int childId, milliseconds limit = kDialogLimit);

HWND WaitForOpenDialog(milliseconds limit = kDialogLimit);
HWND WaitForFolderBrowser(milliseconds limit = kDialogLimit);
HWND WaitForMessageBox(milliseconds limit = kDialogLimit);

// Puts path into the open dialog's file-name field.
bool TypeFileName(HWND openDialog, const std::wstring& path);

// Selects folder in the folder browser, again and again until its tree shows
// the folder selected (Wine sometimes ignores a process's first selection).
bool SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit = kDialogLimit);

// Presses a button of a dialog (IDOK, IDCANCEL) and waits until it is gone.
bool PressAndWaitClosed(HWND dialog, int buttonId, milliseconds limit = kDialogLimit);

enum class BoxIcon { None, Information, Warning, Other };

// What a message box showed.
struct MessageBoxSeen {
  std::wstring title;
  std::wstring text;
  BoxIcon icon = BoxIcon::None;
  HWND owner = nullptr;
};
MessageBoxSeen ReadMessageBox(HWND box);

std::wstring TextOf(HWND window);

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
