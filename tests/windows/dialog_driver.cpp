#include "dialog_driver.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <cwctype>
#include <filesystem>

namespace quillmere::testing {

namespace {

using Clock = std::chrono::steady_clock;

struct DialogSearch {
  std::function<bool(HWND)> accepts;
  HWND found;
};

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  return lstrcmpiW(className, name) == 0;
}

struct ChildSearch {
  const wchar_t* childClass;
  int childId;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM param) {
  auto* search = reinterpret_cast<ChildSearch*>(param);
  if ((search->childClass == nullptr || ClassIs(child, search->childClass)) &&
      (search->childId == -1 || GetDlgCtrlID(child) == search->childId)) {
    search->found = child;
    return FALSE;
  }
  return TRUE;
}

HWND FindChild(HWND parent, const wchar_t* childClass, int childId) {
  ChildSearch search{childClass, childId, nullptr};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(window) || !ClassIs(window, L"#32770")) {
    return TRUE;
  }
  if (!search->accepts(window)) return TRUE;
  search->found = window;
  return FALSE;
}

// Dialog templates give many labels the id 0xFFFF too; a message box is the
// dialog with that label and no file list or folder tree.
bool IsMessageBox(HWND dialog) {
  return FindChild(dialog, L"Static", 0xFFFF) != nullptr && GetDlgItem(dialog, cmb13) == nullptr &&
         GetDlgItem(dialog, lst1) == nullptr && GetDlgItem(dialog, lst2) == nullptr &&
         FindChild(dialog, WC_TREEVIEWW, -1) == nullptr;
}

HWND WaitForDialog(const std::function<bool(HWND)>& accepts, milliseconds limit);

template <typename Probe>
auto WaitFor(Probe probe, milliseconds limit) -> decltype(probe()) {
  const auto end = Clock::now() + limit;
  for (;;) {
    auto value = probe();
    if (value || Clock::now() >= end) return value;
    Sleep(20);
  }
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring SelectedTreeText(HWND tree) {
  const auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (item == nullptr) return {};
  wchar_t text[MAX_PATH] = {};
  TVITEMW query{};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = text;
  query.cchTextMax = MAX_PATH;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
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
  HWND iconStatic = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassIs(child, L"Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      iconStatic = child;
      break;
    }
  }
  if (iconStatic == nullptr) return BoxIcon::None;
  const auto shown = reinterpret_cast<HICON>(SendMessageW(iconStatic, STM_GETICON, 0, 0));
  if (shown == nullptr) return BoxIcon::None;
  if (shown == LoadIconW(nullptr, IDI_INFORMATION)) return BoxIcon::Information;
  if (shown == LoadIconW(nullptr, IDI_WARNING)) return BoxIcon::Warning;
  return BoxIcon::Other;
}

HWND WaitForDialog(const std::function<bool(HWND)>& accepts, milliseconds limit) {
  return WaitFor(
      [&]() -> HWND {
        DialogSearch search{accepts, nullptr};
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        return search.found;
      },
      limit);
}

}  // namespace

HWND WaitForOwnDialog(const wchar_t* childClass, int childId, milliseconds limit) {
  return WaitForDialog(
      [&](HWND dialog) {
        return (childClass == nullptr && childId == -1) || FindChild(dialog, childClass, childId) != nullptr;
      },
      limit);
}

HWND WaitForOpenDialog(milliseconds limit) {
  return WaitForOwnDialog(nullptr, cmb13, limit);
}

HWND WaitForFolderBrowser(milliseconds limit) {
  return WaitForOwnDialog(WC_TREEVIEWW, -1, limit);
}

HWND WaitForMessageBox(milliseconds limit) {
  return WaitForDialog(IsMessageBox, limit);
}

bool TypeFileName(HWND openDialog, const std::wstring& path) {
  HWND field = GetDlgItem(openDialog, cmb13);
  if (field == nullptr) field = GetDlgItem(openDialog, edt1);
  if (field == nullptr) return false;
  return SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str())) != FALSE;
}

bool SelectFolder(HWND browser, const std::wstring& folder, milliseconds limit) {
  const HWND tree = FindChild(browser, WC_TREEVIEWW, -1);
  if (tree == nullptr) return false;
  return WaitFor(
      [&] {
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        Sleep(50);
        return TreeShows(SelectedTreeText(tree), folder);
      },
      limit);
}

bool PressAndWaitClosed(HWND dialog, int buttonId, milliseconds limit) {
  const HWND button = GetDlgItem(dialog, buttonId);
  if (button == nullptr) return false;
  PostMessageW(button, BM_CLICK, 0, 0);
  return WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, limit);
}

std::wstring TextOf(HWND window) {
  const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(wcslen(text.c_str()));
  return text;
}

MessageBoxSeen ReadMessageBox(HWND box) {
  MessageBoxSeen seen;
  seen.title = TextOf(box);
  seen.text = TextOf(GetDlgItem(box, 0xFFFF));
  seen.icon = IconOf(box);
  seen.owner = GetWindow(box, GW_OWNER);
  return seen;
}

bool PumpUntil(const std::function<bool()>& done, milliseconds limit, HWND keyboardWindow) {
  const auto end = Clock::now() + limit;
  bool quit = false;
  int quitCode = 0;
  while (!done() && Clock::now() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        quitCode = static_cast<int>(message.wParam);
        continue;
      }
      if (keyboardWindow != nullptr && IsWindow(keyboardWindow) &&
          IsDialogMessageW(keyboardWindow, &message)) {
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  if (quit) PostQuitMessage(quitCode);
  return done();
}

}  // namespace quillmere::testing
