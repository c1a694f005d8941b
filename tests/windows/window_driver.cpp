#include "window_driver.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <cwctype>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace quillmere::driver {
namespace {

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t className[128] = {};
  ::GetClassNameW(window, className, 128);
  return ::lstrcmpiW(className, name) == 0;
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

// The search that EnumWindows and EnumChildWindows run for the finders.
struct Search {
  std::function<bool(HWND)> accepts;
  HWND found = nullptr;
};

BOOL CALLBACK Match(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<Search*>(param);
  if (!search.accepts(window)) return TRUE;
  search.found = window;
  return FALSE;
}

// Below parent, or among the top-level windows when parent is null.
HWND Find(HWND parent, std::function<bool(HWND)> accepts) {
  Search search{std::move(accepts)};
  if (parent) {
    ::EnumChildWindows(parent, Match, reinterpret_cast<LPARAM>(&search));
  } else {
    ::EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
  }
  return search.found;
}

bool IsVisibleDialogOf(HWND window, DWORD pid) {
  return ProcessOf(window) == pid && ::IsWindowVisible(window) && ClassIs(window, L"#32770");
}

bool IsMessageBox(HWND dialog) {
  return FindChild(dialog, WC_STATICW, 0xFFFF) && !::GetDlgItem(dialog, cmb13) &&
         !::GetDlgItem(dialog, lst1) && !::GetDlgItem(dialog, lst2) && !FindChild(dialog, WC_TREEVIEWW, -1);
}

// How the tree names the folder: its own name, or for a drive root a text
// that holds "X:".
bool TreeShows(const std::wstring& treeText, const std::wstring& folder) {
  const std::filesystem::path path(folder);
  if (path.has_root_path() && path.relative_path().empty()) {
    return Lower(treeText).find(Lower(path.root_name().wstring())) != std::wstring::npos;
  }
  return Lower(treeText) == Lower(path.filename().wstring());
}

BoxIcon IconOf(HWND box) {
  const HWND iconStatic = Find(box, [](HWND child) {
    return ClassIs(child, WC_STATICW) && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
  });
  const auto shown = iconStatic ? Send(iconStatic, STM_GETICON, 0, 0, 2000ms).value_or(0) : 0;
  if (!shown) return BoxIcon::None;
  if (shown == reinterpret_cast<LRESULT>(::LoadIconW(nullptr, IDI_INFORMATION))) return BoxIcon::Information;
  if (shown == reinterpret_cast<LRESULT>(::LoadIconW(nullptr, IDI_WARNING))) return BoxIcon::Warning;
  return BoxIcon::Other;
}

// A block a message to a window of the process may point into, allocated
// in that process (the test's own too) and released when the owner goes.
class ProcessMemory {
 public:
  ProcessMemory(HANDLE process, SIZE_T size)
      : process_(process),
        at_(static_cast<char*>(
            ::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
  ProcessMemory(const ProcessMemory&) = delete;
  ProcessMemory& operator=(const ProcessMemory&) = delete;
  ~ProcessMemory() { ::VirtualFreeEx(process_, at_, 0, MEM_RELEASE); }

  LPARAM Address(SIZE_T offset = 0) const { return reinterpret_cast<LPARAM>(at_ + offset); }
  bool Write(const void* data, SIZE_T size) const {
    return at_ && ::WriteProcessMemory(process_, at_, data, size, nullptr);
  }
  bool Read(void* data, SIZE_T size, SIZE_T offset) const {
    return ::ReadProcessMemory(process_, at_ + offset, data, size, nullptr);
  }

 private:
  HANDLE process_;
  char* at_;
};

}  // namespace

bool PumpUntil(const std::function<bool()>& done, milliseconds limit, HWND keyboardWindow) {
  const auto end = Clock::now() + limit;
  std::optional<int> quit;
  while (!done() && Clock::now() < end) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = static_cast<int>(message.wParam);
      } else if (!keyboardWindow || !::IsWindow(keyboardWindow) ||
                 !::IsDialogMessageW(keyboardWindow, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  if (quit) ::PostQuitMessage(*quit);
  return done();
}

std::optional<std::string> NoDisplay() {
  // Wine shows windows on an X display; without one no window can be made.
  if (UnderWine() && ::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
    return "no display: DISPLAY is not set (run the tests through tools/wine-session.sh)";
  }
  USEROBJECTFLAGS flags{};
  if (::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      !(flags.dwFlags & WSF_VISIBLE)) {
    return "no display: the window station is not interactive";
  }
  return std::nullopt;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string Narrow(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
  return out;
}

std::wstring WindowsPath(const std::string& path) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), wide.data(), size);
  for (auto& c : wide) c = c == L'/' ? L'\\' : c;
  if (!wide.empty() && wide.front() == L'\\') wide.insert(0, L"Z:");
  return wide;
}

std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, milliseconds limit) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, static_cast<UINT>(limit.count()),
                             &result)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

std::optional<std::wstring> TextOf(HWND window, milliseconds limit) {
  const auto length = Send(window, WM_GETTEXTLENGTH, 0, 0, limit);
  if (!length) return std::nullopt;
  std::vector<wchar_t> buffer(static_cast<size_t>(*length) + 64, L'\0');
  const auto copied = Send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), limit);
  if (!copied) return std::nullopt;
  return std::wstring(buffer.data(), static_cast<size_t>(*copied));
}

void PressAltKey(HWND window, wchar_t key) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  HWND target = ::GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : window;
  const auto virtualKey = static_cast<WPARAM>(::VkKeyScanW(key) & 0xFF);
  const auto scan = static_cast<LPARAM>(::MapVirtualKeyW(static_cast<UINT>(virtualKey), 0));
  const LPARAM altDown = 1 | (scan << 16) | (1L << 29);
  ::PostMessageW(target, WM_SYSKEYDOWN, virtualKey, altDown);
  ::PostMessageW(target, WM_SYSKEYUP, virtualKey, altDown | (1L << 30) | static_cast<LPARAM>(1UL << 31));
}

HWND FindTopLevel(DWORD pid, const wchar_t* caption, const wchar_t* className) {
  return Find(nullptr, [&](HWND window) {
    return (!pid || ProcessOf(window) == pid) && ::IsWindowVisible(window) &&
           (!className || ClassIs(window, className)) &&
           (!caption || TextOf(window, 500ms) == std::wstring(caption));
  });
}

HWND FindChild(HWND parent, const wchar_t* childClass, int childId) {
  return Find(parent, [&](HWND child) {
    return (!childClass || ClassIs(child, childClass)) && (childId == -1 || ::GetDlgCtrlID(child) == childId);
  });
}

HWND FindChildWithText(HWND parent, const std::wstring& text) {
  return Find(parent, [&](HWND child) { return TextOf(child, 500ms) == text; });
}

bool PressAndWaitClosed(HWND dialog, int buttonId, milliseconds limit) {
  const HWND button = ::GetDlgItem(dialog, buttonId);
  if (!button) return false;
  Click(button);
  return WaitFor([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, limit);
}

std::vector<std::uint32_t> BitmapPixels(HBITMAP bitmap, int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  ::GetDIBits(win32::WindowDc(nullptr).get(), bitmap, 0, static_cast<UINT>(height), pixels.data(), &info,
              DIB_RGB_COLORS);
  return pixels;
}

std::optional<std::wstring> SelectedTreeItemText(HANDLE process, HWND tree) {
  const auto item = Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, 1000ms);
  if (!item || !*item) return std::nullopt;
  wchar_t text[MAX_PATH] = {};
  ProcessMemory memory(process, sizeof(TVITEMW) + sizeof text);
  TVITEMW query = {};
  query.mask = TVIF_TEXT;
  query.hItem = reinterpret_cast<HTREEITEM>(*item);
  query.pszText = reinterpret_cast<wchar_t*>(memory.Address(sizeof query));
  query.cchTextMax = MAX_PATH;
  if (!memory.Write(&query, sizeof query)) return std::nullopt;
  const auto done = Send(tree, TVM_GETITEMW, 0, memory.Address(), 1000ms);
  if (!done || !*done || !memory.Read(text, sizeof text - sizeof(wchar_t), sizeof query)) return std::nullopt;
  return std::wstring(text);
}

HWND Dialogs::WaitForDialog(const wchar_t* childClass, int childId, milliseconds limit) const {
  return WaitFor(
      [&] {
        return Find(nullptr, [&](HWND window) {
          return IsVisibleDialogOf(window, pid_) &&
                 ((!childClass && childId == -1) || FindChild(window, childClass, childId));
        });
      },
      limit);
}

HWND Dialogs::WaitForOpenDialog(milliseconds limit) const {
  return WaitForDialog(nullptr, cmb13, limit);
}

HWND Dialogs::WaitForFolderBrowser(milliseconds limit) const {
  return WaitForDialog(WC_TREEVIEWW, -1, limit);
}

HWND Dialogs::WaitForMessageBox(milliseconds limit) const {
  return WaitFor(
      [&] { return Find(nullptr, [&](HWND w) { return IsVisibleDialogOf(w, pid_) && IsMessageBox(w); }); },
      limit);
}

std::optional<MessageBoxSeen> Dialogs::ReadMessageBox(HWND box) const {
  auto title = TextOf(box);
  auto text = TextOf(::GetDlgItem(box, 0xFFFF));
  if (!title || !text) return std::nullopt;
  return MessageBoxSeen{box, *title, *text, IconOf(box), ::GetWindow(box, GW_OWNER)};
}

// Looks every 20 ms: often enough to time a run of seconds, rarely enough
// not to slow the program down by asking the window server.
std::optional<MessageBoxSeen> Dialogs::NextMessageBox(milliseconds limit) const {
  const HWND box = WaitForMessageBox(limit);
  return box ? ReadMessageBox(box) : std::nullopt;
}

bool Dialogs::TypeFileName(HWND openDialog, const std::wstring& path) const {
  HWND field = ::GetDlgItem(openDialog, cmb13);
  if (!field) field = ::GetDlgItem(openDialog, edt1);
  return field && Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str())).has_value();
}

bool Dialogs::SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit) const {
  const HWND tree = FindChild(browser, WC_TREEVIEWW, -1);
  const SIZE_T bytes = (folder.size() + 1) * sizeof(wchar_t);
  ProcessMemory path(process_, bytes);
  if (!tree || !path.Write(folder.c_str(), bytes)) return false;
  return WaitFor(
      [&] {
        Send(browser, BFFM_SETSELECTIONW, TRUE, path.Address(), limit);
        ::Sleep(50);
        const auto shown = SelectedTreeItemText(process_, tree);
        return shown && TreeShows(*shown, folder);
      },
      limit, 50ms);
}

bool Dialogs::ChooseFile(HWND openDialog, const std::wstring& path) const {
  if (TypeFileName(openDialog, path) && PressAndWaitClosed(openDialog, IDOK)) return true;
  PressAndWaitClosed(openDialog, IDCANCEL);
  return false;
}

bool Dialogs::ChooseFolder(HWND browser, const std::wstring& folder) const {
  if (SelectFolder(browser, folder) && PressAndWaitClosed(browser, IDOK)) return true;
  PressAndWaitClosed(browser, IDCANCEL);
  return false;
}

RemoteProgram::RemoteProgram(const std::wstring& exe, const std::wstring& args, int show) {
  std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
  // No console and no standard handles: a program left running must not
  // hold the caller's output open (a pipe would never end).
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | (show < 0 ? 0 : STARTF_USESHOWWINDOW);
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &info)) {
    const int error = static_cast<int>(::GetLastError());
    throw std::runtime_error("cannot start " + Narrow(exe) + ": " + std::system_category().message(error));
  }
  owned_.reset(process_ = info.hProcess);
  thread_.reset(info.hThread);
  pid_ = info.dwProcessId;
  if (::WaitForInputIdle(info.hProcess, 20000) != 0) {
    throw std::runtime_error(Narrow(exe) + " did not become ready for input within 20 s");
  }
}

void RemoteProgram::EndWithin(milliseconds limit) {
  if (owned_ && !WaitForExit(limit)) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, 5000);
  }
}

HWND RemoteProgram::WaitForWindow(const wchar_t* caption, const wchar_t* className,
                                  milliseconds limit) const {
  return WaitFor([&] { return FindTopLevel(pid_, caption, className); }, limit);
}

bool RemoteProgram::WaitForExit(milliseconds limit) const {
  return ::WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

void RemoteProgram::Close(HWND window, milliseconds limit) {
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EndWithin(limit);
}

}  // namespace quillmere::driver
