#include "remote_driver.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <stdexcept>
#include <vector>

namespace quillmere::remote {
namespace {

// A Windows message with a pointer-sized argument, sent with a limit.
std::optional<LRESULT> Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, milliseconds limit) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, static_cast<UINT>(limit.count()),
                             &result)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[128] = {};
  ::GetClassNameW(window, name, 128);
  return name;
}

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::wstring SystemReason(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = length ? std::wstring(text, length) : L"error " + std::to_wstring(error);
  ::LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r')) reason.pop_back();
  return reason;
}

// The search that EnumWindows and EnumChildWindows run for the finders below.
struct Search {
  DWORD pid = 0;
  const wchar_t* caption = nullptr;
  const wchar_t* className = nullptr;
  const wchar_t* childClass = nullptr;
  int childId = -1;
  const std::wstring* text = nullptr;
  HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM lParam) {
  auto& search = *reinterpret_cast<Search*>(lParam);
  const bool classFits = !search.childClass || ClassOf(child) == search.childClass;
  const bool idFits = search.childId == -1 || ::GetDlgCtrlID(child) == search.childId;
  const bool textFits = !search.text || TextOf(child, milliseconds(500)) == *search.text;
  if (classFits && idFits && textFits) {
    search.found = child;
    return FALSE;
  }
  return TRUE;
}

HWND FindChild(HWND parent, const wchar_t* childClass, int childId) {
  Search search;
  search.childClass = childClass;
  search.childId = childId;
  ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM lParam) {
  auto& search = *reinterpret_cast<Search*>(lParam);
  if (search.pid && ProcessOf(window) != search.pid) return TRUE;
  if (!::IsWindowVisible(window)) return TRUE;
  if (search.className && ClassOf(window) != search.className) return TRUE;
  if (search.caption && TextOf(window, milliseconds(500)) != std::wstring(search.caption)) {
    return TRUE;
  }
  if (search.childClass || search.childId != -1) {
    if (!FindChild(window, search.childClass, search.childId)) return TRUE;
  }
  search.found = window;
  return FALSE;
}

// A message box is a dialog with the message text in a static of id 0xFFFF;
// the platform's file and folder dialogs have unnamed statics too, so they
// are told apart by their file-name field and their tree.
BOOL CALLBACK MatchMessageBox(HWND window, LPARAM lParam) {
  auto& search = *reinterpret_cast<Search*>(lParam);
  if (ProcessOf(window) != search.pid || !::IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != L"#32770") return TRUE;
  if (!FindChild(window, WC_STATICW, 0xFFFF)) return TRUE;
  if (::GetDlgItem(window, cmb13) || FindChild(window, WC_TREEVIEWW, -1)) return TRUE;
  search.found = window;
  return FALSE;
}

bool WaitGone(HWND window, milliseconds limit) {
  return WaitFor([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, limit);
}

// The name the folder browser's tree shows for the last part of a path.
std::wstring LeafName(const std::wstring& folder) {
  std::wstring path = folder;
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  if (path.size() <= 3) return L"(" + path.substr(0, 2) + L")";  // "C:\" shows as "... (C:)"
  return path.substr(path.find_last_of(L'\\') + 1);
}

}  // namespace

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
  for (auto& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (!wide.empty() && wide.front() == L'\\') wide.insert(0, L"Z:");
  return wide;
}

std::optional<std::wstring> TextOf(HWND window, milliseconds limit) {
  const auto length = Send(window, WM_GETTEXTLENGTH, 0, 0, limit);
  if (!length) return std::nullopt;
  std::vector<wchar_t> buffer(static_cast<size_t>(*length) + 64, L'\0');
  const auto copied = Send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), limit);
  if (!copied) return std::nullopt;
  return std::wstring(buffer.data(), static_cast<size_t>(*copied));
}

bool Answers(HWND window, milliseconds limit) {
  return Send(window, WM_NULL, 0, 0, limit).has_value();
}

void Click(HWND button) {
  ::PostMessageW(button, BM_CLICK, 0, 0);
}

void PressAltKey(HWND window, wchar_t key) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  HWND target = ::GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : window;

  const auto virtualKey = static_cast<WPARAM>(::VkKeyScanW(key) & 0xFF);
  const auto scan = static_cast<LPARAM>(::MapVirtualKeyW(static_cast<UINT>(virtualKey), 0));
  const LPARAM altDown = 1 | (scan << 16) | (1L << 29);
  const LPARAM altUp = altDown | (1L << 30) | static_cast<LPARAM>(1UL << 31);
  ::PostMessageW(target, WM_SYSKEYDOWN, virtualKey, altDown);
  ::PostMessageW(target, WM_SYSKEYUP, virtualKey, altUp);
}

HWND FindTopLevel(DWORD pid, const wchar_t* caption, const wchar_t* className) {
  Search search;
  search.pid = pid;
  search.caption = caption;
  search.className = className;
  ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindDialogWith(DWORD pid, const wchar_t* childClass, int childId) {
  Search search;
  search.pid = pid;
  search.className = L"#32770";
  search.childClass = childClass;
  search.childId = childId;
  ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindChildWithText(HWND parent, const std::wstring& text) {
  Search search;
  search.text = &text;
  ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

RemoteMemory::RemoteMemory(HANDLE process, SIZE_T size)
    : process_(process),
      address_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}

RemoteMemory::~RemoteMemory() {
  if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteMemory::Write(const void* data, SIZE_T size, SIZE_T offset) const {
  SIZE_T written = 0;
  return ::WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &written) &&
         written == size;
}

bool RemoteMemory::Read(void* data, SIZE_T size, SIZE_T offset) const {
  SIZE_T read = 0;
  return ::ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &read) &&
         read == size;
}

std::optional<std::wstring> SelectedTreeItemText(HANDLE process, HWND tree) {
  const auto item = Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, milliseconds(1000));
  if (!item || !*item) return std::nullopt;

  constexpr int kChars = MAX_PATH;
  RemoteMemory memory(process, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
  if (!memory) return std::nullopt;
  TVITEMW query = {};
  query.mask = TVIF_TEXT;
  query.hItem = reinterpret_cast<HTREEITEM>(*item);
  query.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory.Address()) + sizeof query);
  query.cchTextMax = kChars;
  if (!memory.Write(&query, sizeof query)) return std::nullopt;
  const auto done =
      Send(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.Address()), milliseconds(1000));
  if (!done || !*done) return std::nullopt;
  wchar_t text[kChars] = {};
  if (!memory.Read(text, sizeof text - sizeof(wchar_t), sizeof query)) return std::nullopt;
  return std::wstring(text);
}

RemoteProgram::RemoteProgram(const std::wstring& exe, const std::wstring& args) {
  std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
  // No console and no standard handles: a program left running must not
  // hold the caller's output open (a pipe would never end).
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &info)) {
    throw std::runtime_error("cannot start " + Narrow(exe) + ": " + Narrow(SystemReason(::GetLastError())));
  }
  process_.reset(info.hProcess);
  thread_.reset(info.hThread);
  pid_ = info.dwProcessId;
  if (::WaitForInputIdle(info.hProcess, 20000) != 0) {
    throw std::runtime_error(Narrow(exe) + " did not become ready for input within 20 s");
  }
}

RemoteProgram::~RemoteProgram() {
  if (process_ && !WaitForExit(milliseconds(0))) {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

HWND RemoteProgram::WaitForWindow(const wchar_t* caption, milliseconds limit) const {
  return WaitFor([&] { return FindTopLevel(pid_, caption); }, limit);
}

HWND RemoteProgram::WaitForOpenDialog(milliseconds limit) const {
  return WaitFor([&] { return FindDialogWith(pid_, nullptr, cmb13); }, limit);
}

bool RemoteProgram::ChooseFile(HWND dialog, const std::wstring& path, milliseconds limit) const {
  HWND field = ::GetDlgItem(dialog, cmb13);
  if (!Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), limit)) return false;
  return PressOkAndWaitClosed(dialog, limit);
}

HWND RemoteProgram::WaitForFolderBrowser(milliseconds limit) const {
  return WaitFor([&] { return FindDialogWith(pid_, WC_TREEVIEWW, -1); }, limit);
}

bool RemoteProgram::SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit) const {
  const SIZE_T bytes = (folder.size() + 1) * sizeof(wchar_t);
  RemoteMemory path(process_.get(), bytes);
  if (!path || !path.Write(folder.c_str(), bytes)) return false;
  HWND tree = FindChild(browser, WC_TREEVIEWW, -1);
  const std::wstring leaf = LeafName(folder);
  const bool selected = WaitFor(
      [&] {
        Send(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.Address()), limit);
        const auto shown = SelectedTreeItemText(process_.get(), tree);
        return shown && shown->find(leaf) != std::wstring::npos;
      },
      limit, milliseconds(100));
  return selected;
}

bool RemoteProgram::ChooseFolder(HWND browser, const std::wstring& folder, milliseconds limit) const {
  return SelectFolder(browser, folder, limit) && PressOkAndWaitClosed(browser, limit);
}

// Looks every 20 ms: often enough to time a run of seconds, rarely enough
// not to slow the program down by asking the window server.
std::optional<MessageBoxSeen> RemoteProgram::WaitForMessageBox(milliseconds limit) const {
  HWND box = WaitFor(
      [&] {
        Search search;
        search.pid = pid_;
        ::EnumWindows(MatchMessageBox, reinterpret_cast<LPARAM>(&search));
        return search.found;
      },
      limit, milliseconds(20));
  if (!box) return std::nullopt;
  auto title = TextOf(box);
  auto text = TextOf(::GetDlgItem(box, 0xFFFF));
  if (!title || !text) return std::nullopt;
  return MessageBoxSeen{box, *title, *text};
}

void RemoteProgram::LeaveRunning() {
  process_.reset();
  thread_.reset();
}

bool RemoteProgram::WaitForExit(milliseconds limit) const {
  return ::WaitForSingleObject(process_.get(), static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

void RemoteProgram::Close(HWND window, milliseconds limit) {
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  if (!WaitForExit(limit)) {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

bool PressOkAndWaitClosed(HWND dialog, milliseconds limit) {
  Click(::GetDlgItem(dialog, IDOK));
  return WaitGone(dialog, limit);
}

}  // namespace quillmere::remote
