#include "form1_fixture.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

namespace quillmere::testing {

namespace {

fs::path NewScratchFolder() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const fs::path folder = fs::path(temp) / (L"quillmere-form1-" + std::to_wstring(GetCurrentProcessId()) +
                                            L"-" + std::to_wstring(++counter));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

}  // namespace

std::string Card(std::uint64_t n, const std::string& lineEnd) {
  std::ostringstream out;
  out << "BEGIN:VCARD" << lineEnd << "VERSION:2.1" << lineEnd << "N:Person;" << n << lineEnd << "FN:Person "
      << n << lineEnd << "TEL;CELL:+1 555 01" << n << lineEnd << "END:VCARD" << lineEnd;
  return out.str();
}

std::string Cards(int count, const std::string& lineEnd) {
  std::string cards;
  for (int n = 1; n <= count; ++n) cards += Card(static_cast<std::uint64_t>(n), lineEnd);
  return cards;
}

std::string CardFile(std::uint64_t n) {
  return "\r\n" + Card(n, "\r\n");
}

void Form1Test::SetUpTestSuite() {
  // The folder browser is a shell dialog: it needs a single-threaded
  // apartment, as the program sets up.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

void Form1Test::SetUp() {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  scratch_ = NewScratchFolder();
  form_ = std::make_unique<ui::Form1>();
  ASSERT_TRUE(form_->Show(SW_SHOWNORMAL));
  SetForegroundWindow(Window());
  PumpUntil([] { return false; }, milliseconds(50));
}

void Form1Test::TearDown() {
  if (!form_) return;  // skipped
  form_.reset();
  // The window's end posts WM_QUIT; it must not reach the next test's
  // dialogs, which would close at once.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  std::error_code ignored;
  fs::remove_all(scratch_, ignored);
}

HWND Form1Test::Control(ui::ControlId id) const {
  if (id == ui::IDC_cmdEnd) return GetDlgItem(GetDlgItem(Window(), ui::IDC_Picture3), id);
  return GetDlgItem(Window(), id);
}

void Form1Test::Click(ui::ControlId id) const {
  SendMessageW(Control(id), BM_CLICK, 0, 0);
}

bool Form1Test::BrowseAndChoose(const std::wstring& path) {
  bool closed = false;
  {
    DialogScript script([&] {
      const HWND dialog = WaitForOpenDialog();
      if (dialog == nullptr) return;
      TypeFileName(dialog, path);
      closed = PressAndWaitClosed(dialog, IDOK);
      if (!closed) PressAndWaitClosed(dialog, IDCANCEL);
    });
    Click(ui::IDC_CmdBrowse);
  }
  return closed;
}

bool Form1Test::BrowseAndCancel() {
  bool closed = false;
  {
    DialogScript script([&] {
      const HWND dialog = WaitForOpenDialog();
      if (dialog != nullptr) closed = PressAndWaitClosed(dialog, IDCANCEL);
    });
    Click(ui::IDC_CmdBrowse);
  }
  return closed;
}

RunSeen Form1Test::SplitInto(const std::wstring& folder, milliseconds limit) {
  RunSeen seen;
  std::atomic<bool> done{false};
  const HWND label = Control(ui::IDC_LblProgessCurrent);
  DialogScript script([&] {
    const HWND browser = WaitForFolderBrowser();
    seen.browserFound = browser != nullptr;
    if (browser != nullptr) {
      seen.folderSelected = SelectFolder(browser, folder);
      PressAndWaitClosed(browser, seen.folderSelected ? IDOK : IDCANCEL);
      if (seen.folderSelected) {
        if (const HWND box = WaitForMessageBox(limit)) {
          seen.labelWhileBoxShown = TextOf(label);
          seen.box = ReadMessageBox(box);
          PressAndWaitClosed(box, IDOK);
        }
      }
    }
    done = true;
  });
  Click(ui::IDC_CmdSplit);
  PumpUntil([&] { return done.load(); }, limit + kDialogLimit * 2);
  script.Join();
  // Let the window finish the handler the box was shown from.
  PumpUntil([] { return false; }, milliseconds(50));
  return seen;
}

bool Form1Test::SplitAndCancel() {
  bool closed = false;
  {
    DialogScript script([&] {
      const HWND browser = WaitForFolderBrowser();
      if (browser != nullptr) closed = PressAndWaitClosed(browser, IDCANCEL);
    });
    Click(ui::IDC_CmdSplit);
  }
  PumpUntil([] { return false; }, milliseconds(100));
  return closed;
}

fs::path Form1Test::WriteSource(const std::string& name, const std::string& bytes) const {
  const fs::path file = scratch_ / name;
  std::ofstream(file, std::ios::binary) << bytes;
  return file;
}

fs::path Form1Test::MakeFolder(const std::string& name) const {
  const fs::path folder = scratch_ / name;
  fs::create_directories(folder);
  return folder;
}

std::vector<std::wstring> FilesIn(const fs::path& folder) {
  // FindFirstFileW itself: a drive root has no "." entry, so an empty one
  // reports "not found", which std::filesystem takes for an error.
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder / L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Form1Test::QuitWasPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

}  // namespace quillmere::testing
