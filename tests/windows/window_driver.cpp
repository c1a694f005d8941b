#include "window_driver.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <cstring>
#include <cwctype>
#include <filesystem>
#include <functional>

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

HWND FindTop(std::function<bool(HWND)> accepts) {
  Search search{std::move(accepts)};
  ::EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindBelow(HWND parent, std::function<bool(HWND)> accepts) {
  Search search{std::move(accepts)};
  ::EnumChildWindows(parent, Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsVisibleDialogOf(HWND window, DWORD pid) {
  return ProcessOf(window) == pid && ::IsWindowVisible(window) && ClassIs(window, L"#32770");
}

bool IsMessageBox(HWND dialog) {
  return FindChild(dialog, WC_STATICW, 0xFFFF) && !::GetDlgItem(dialog, cmb13) &&
         !::GetDlgItem(dialog, lst1) && !::GetDlgItem(dialog, lst2) && !FindChild(dialog, WC_TREEVIEWW, -1);
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
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
  const HWND iconStatic = FindBelow(box, [](HWND child) {
    return ClassIs(child, WC_STATICW) && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
  });
  if (!iconStatic) return BoxIcon::None;
  const auto shown = Send(iconStatic, STM_GETICON, 0, 0, milliseconds(2000)).value_or(0);
  if (!shown) return BoxIcon::None;
  if (shown == reinterpret_cast<LRESULT>(::LoadIconW(nullptr, IDI_INFORMATION))) return BoxIcon::Information;
  if (shown == reinterpret_cast<LRESULT>(::LoadIconW(nullptr, IDI_WARNING))) return BoxIcon::Warning;
  return BoxIcon::Other;
}

}  // namespace

std::optional<std::string> NoDisplay() {
  // Wine shows windows on an X display; without one no window can be made.
  const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (wine && ::GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
    return "no display: DISPLAY is not set (run the tests through tools/wine-session.sh)";
  }
  USEROBJECTFLAGS flags{};
  if (::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      !(flags.dwFlags & WSF_VISIBLE)) {
    return "no display: the window station is not interactive";
  }
  return std::nullopt;
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
  for (auto& c : wide) {
    if (c == L'/') c = L'\\';
  }
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
  return FindTop([&](HWND window) {
    return (!pid || ProcessOf(window) == pid) && ::IsWindowVisible(window) &&
           (!className || ClassIs(window, className)) &&
           (!caption || TextOf(window, milliseconds(500)) == std::wstring(caption));
  });
}

HWND FindDialogWith(DWORD pid, const wchar_t* childClass, int childId) {
  return FindTop([&](HWND window) {
    return IsVisibleDialogOf(window, pid) &&
           ((!childClass && childId == -1) || FindChild(window, childClass, childId));
  });
}

HWND FindChild(HWND parent, const wchar_t* childClass, int childId) {
  return FindBelow(parent, [&](HWND child) {
    return (!childClass || ClassIs(child, childClass)) && (childId == -1 || ::GetDlgCtrlID(child) == childId);
  });
}

HWND FindChildWithText(HWND parent, const std::wstring& text) {
  return FindBelow(parent, [&](HWND child) { return TextOf(child, milliseconds(500)) == text; });
}

bool PressAndWaitClosed(HWND dialog, int buttonId, milliseconds limit) {
  const HWND button = ::GetDlgItem(dialog, buttonId);
  if (!button) return false;
  Click(button);
  return WaitFor([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, limit);
}

bool PressOkAndWaitClosed(HWND dialog, milliseconds limit) {
  return PressAndWaitClosed(dialog, IDOK, limit);
}

ProcessMemory::ProcessMemory(HANDLE process, SIZE_T size)
    : process_(process),
      own_(process ? 0 : size),
      address_(process ? ::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                       : own_.data()) {}

ProcessMemory::~ProcessMemory() {
  if (process_ && address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool ProcessMemory::Write(const void* data, SIZE_T size, SIZE_T offset) const {
  void* at = static_cast<char*>(address_) + offset;
  if (!process_) return std::memcpy(at, data, size) != nullptr;
  SIZE_T written = 0;
  return ::WriteProcessMemory(process_, at, data, size, &written) && written == size;
}

bool ProcessMemory::Read(void* data, SIZE_T size, SIZE_T offset) const {
  const void* at = static_cast<const char*>(address_) + offset;
  if (!process_) return std::memcpy(data, at, size) != nullptr;
  SIZE_T read = 0;
  return ::ReadProcessMemory(process_, at, data, size, &read) && read == size;
}

std::optional<std::wstring> SelectedTreeItemText(HANDLE process, HWND tree) {
  const auto item = Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, milliseconds(1000));
  if (!item || !*item) return std::nullopt;
  constexpr int kChars = MAX_PATH;
  ProcessMemory memory(process, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
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

HWND Dialogs::WaitForDialog(const wchar_t* childClass, int childId, milliseconds limit) const {
  return WaitFor([&] { return FindDialogWith(pid_, childClass, childId); }, limit);
}

HWND Dialogs::WaitForOpenDialog(milliseconds limit) const {
  return WaitForDialog(nullptr, cmb13, limit);
}

HWND Dialogs::WaitForFolderBrowser(milliseconds limit) const {
  return WaitForDialog(WC_TREEVIEWW, -1, limit);
}

HWND Dialogs::WaitForMessageBox(milliseconds limit) const {
  return WaitFor(
      [&] { return FindTop([&](HWND w) { return IsVisibleDialogOf(w, pid_) && IsMessageBox(w); }); }, limit);
}

bool Dialogs::TypeFileName(HWND openDialog, const std::wstring& path, milliseconds limit) const {
  HWND field = ::GetDlgItem(openDialog, cmb13);
  if (!field) field = ::GetDlgItem(openDialog, edt1);
  if (!field) return false;
  return Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), limit).has_value();
}

bool Dialogs::SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit) const {
  const HWND tree = FindChild(browser, WC_TREEVIEWW, -1);
  const SIZE_T bytes = (folder.size() + 1) * sizeof(wchar_t);
  ProcessMemory path(process_, bytes);
  if (!tree || !path || !path.Write(folder.c_str(), bytes)) return false;
  return WaitFor(
      [&] {
        Send(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.Address()), limit);
        ::Sleep(50);
        const auto shown = SelectedTreeItemText(process_, tree);
        return shown && TreeShows(*shown, folder);
      },
      limit, milliseconds(50));
}

std::optional<MessageBoxSeen> Dialogs::ReadMessageBox(HWND box) const {
  auto title = TextOf(box);
  auto text = TextOf(::GetDlgItem(box, 0xFFFF));
  if (!title || !text) return std::nullopt;
  return MessageBoxSeen{box, *title, *text, IconOf(box), ::GetWindow(box, GW_OWNER)};
}

}  // namespace quillmere::driver
