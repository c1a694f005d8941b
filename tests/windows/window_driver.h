#pragma once
// The tests' one Win32 driver: waiting with a limit, finding a process's
// windows and controls, telling the platform's dialogs apart, selecting in
// the folder browser and reading message boxes, as a user sees them. The
// test's own process and a program it started differ only in where a
// message's pointer points: the test's memory, or a block allocated in the
// other process and written through its handle.
//
// A click that may open a modal dialog is posted (a sender would block until
// the dialog closes), and every message that answers is sent with a time
// limit, so a hung window fails a test instead of stopping it.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32_handle.h"

namespace quillmere::driver {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

inline constexpr milliseconds kDialogLimit{15000};

// Calls probe every interval until it gives a value that tests true or the
// limit has passed; returns the last value probed.
template <typename Probe>
auto WaitFor(Probe probe, milliseconds limit, milliseconds interval = 20ms) -> decltype(probe()) {
  for (const auto end = Clock::now() + limit;; ::Sleep(static_cast<DWORD>(interval.count()))) {
    auto value = probe();
    if (value || Clock::now() >= end) return value;
  }
}

// Dispatches this thread's messages until done() or the limit; returns
// done(). A WM_QUIT met on the way is put back. With a keyboardWindow, its
// dialog keys (Tab, access keys) are handled as the program's loop does.
bool PumpUntil(const std::function<bool()>& done, milliseconds limit = kDialogLimit,
               HWND keyboardWindow = nullptr);
inline void Pump(milliseconds time) {
  PumpUntil([] { return false; }, time);
}

// Why windows cannot be shown here (no display), or nullopt when they can.
std::optional<std::string> NoDisplay();
#define QUILLMERE_SKIP_WITHOUT_DISPLAY() \
  if (const auto why = ::quillmere::driver::NoDisplay()) GTEST_SKIP() << *why

bool UnderWine();
std::string Narrow(const std::wstring& text);
std::wstring Lower(std::wstring text);
// "/work/x/y" -> "Z:\work\x\y" (Wine maps Z: to the Unix root); a path that
// already has a drive is only given backslashes.
std::wstring WindowsPath(const std::string& path);

// A message sent with a limit; nullopt when the window did not answer.
std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            milliseconds limit = kDialogLimit);
// The window's text; nullopt when it does not answer or is gone.
std::optional<std::wstring> TextOf(HWND window, milliseconds limit = 2000ms);
inline bool Answers(HWND window, milliseconds limit) {
  return Send(window, WM_NULL, 0, 0, limit).has_value();
}
inline void Click(HWND button) {
  ::PostMessageW(button, BM_CLICK, 0, 0);
}
// Alt+<key> as the keyboard delivers it, posted to the control that has the
// focus in the window's thread.
void PressAltKey(HWND window, wchar_t key);

// A visible top-level window of the process (any when pid is 0) with this
// caption and class (any when null).
HWND FindTopLevel(DWORD pid, const wchar_t* caption, const wchar_t* className = nullptr);
// A child anywhere below parent of this class (null: any) and id (-1: any).
HWND FindChild(HWND parent, const wchar_t* childClass, int childId);
HWND FindChildWithText(HWND parent, const std::wstring& text);

// Presses a button of a dialog (IDOK, IDCANCEL) and waits until it is gone.
bool PressAndWaitClosed(HWND dialog, int buttonId, milliseconds limit = kDialogLimit);

enum class BoxIcon { None, Information, Warning, Other };

struct MessageBoxSeen {
  HWND box = nullptr;
  std::wstring title;
  std::wstring text;
  BoxIcon icon = BoxIcon::None;
  HWND owner = nullptr;
};

// A bitmap's pixels as 0xAARRGGBB, top row first.
std::vector<std::uint32_t> BitmapPixels(HBITMAP bitmap, int width, int height);

// The text of the item selected in a tree view of the process.
std::optional<std::wstring> SelectedTreeItemText(HANDLE process, HWND tree);

// The platform's dialogs as one process shows them: by default the test's
// own, worked from a helper thread while the test's thread is in the modal
// call.
class Dialogs {
 public:
  Dialogs() : pid_(::GetCurrentProcessId()), process_(::GetCurrentProcess()) {}

  // A visible dialog (#32770) holding a child of this class (null: any) and
  // id (-1: any).
  HWND WaitForDialog(const wchar_t* childClass, int childId, milliseconds limit = kDialogLimit) const;
  HWND WaitForOpenDialog(milliseconds limit = kDialogLimit) const;
  HWND WaitForFolderBrowser(milliseconds limit = kDialogLimit) const;
  // Dialog templates give many labels the id 0xFFFF too; a message box is a
  // dialog with that label and no file list, file-name field or folder tree.
  HWND WaitForMessageBox(milliseconds limit = kDialogLimit) const;
  // The box's title, message, icon and owner; nullopt when it does not answer.
  std::optional<MessageBoxSeen> ReadMessageBox(HWND box) const;
  std::optional<MessageBoxSeen> NextMessageBox(milliseconds limit) const;

  // Puts path into the open dialog's file-name field.
  bool TypeFileName(HWND openDialog, const std::wstring& path) const;
  // Selects folder again and again until the tree shows it selected (Wine
  // often ignores a process's first selection).
  bool SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit = kDialogLimit) const;
  // TypeFileName or SelectFolder, then OK (Cancel when it did not take);
  // true when the dialog took the choice and closed.
  bool ChooseFile(HWND openDialog, const std::wstring& path) const;
  bool ChooseFolder(HWND browser, const std::wstring& folder) const;

 protected:
  DWORD pid_ = 0;
  HANDLE process_ = nullptr;
};

// A program started by the test, ended (if it still runs) when the owner
// goes, so a failing test leaves nothing behind.
class RemoteProgram : public Dialogs {
 public:
  // Starts exe (with a show command, as a shortcut gives one, unless -1)
  // and waits until it waits for input; throws std::runtime_error naming
  // the program and the system's reason.
  explicit RemoteProgram(const std::wstring& exe, const std::wstring& args = {}, int show = -1);
  RemoteProgram(const RemoteProgram&) = delete;
  RemoteProgram& operator=(const RemoteProgram&) = delete;
  ~RemoteProgram() { EndWithin(0ms); }

  DWORD Pid() const noexcept { return pid_; }
  HANDLE Process() const noexcept { return process_; }
  HWND WaitForWindow(const wchar_t* caption, const wchar_t* className = nullptr,
                     milliseconds limit = kDialogLimit) const;
  bool WaitForExit(milliseconds limit) const;
  // Lets the program go on after the owner goes (for a user to look at).
  void LeaveRunning() { owned_.reset(), thread_.reset(); }
  // Asks the window to close, then ends the process if it does not.
  void Close(HWND window, milliseconds limit = 5000ms);

 private:
  void EndWithin(milliseconds limit);
  win32::UniqueHandle owned_, thread_;
};

}  // namespace quillmere::driver
