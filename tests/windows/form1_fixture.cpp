#include "form1_fixture.h"

#include <objbase.h>

#include <atomic>

namespace quillmere::testing {

void Form1Test::SetUp() {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  // The folder browser is a shell dialog: it needs a single-threaded
  // apartment, as the program sets up.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  scratch_ = folder_.emplace(L"form1").Path();
  form_ = std::make_unique<ui::Form1>();
  ASSERT_TRUE(form_->Show(SW_SHOWNORMAL));
  SetForegroundWindow(Window());
  Pump(50ms);
}

void Form1Test::TearDown() {
  form_.reset();
  // The window's end posts WM_QUIT; it must not reach the next test's
  // dialogs, which would close at once.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

HWND Form1Test::Control(ui::ControlId id) const {
  if (id == ui::IDC_cmdEnd) return GetDlgItem(GetDlgItem(Window(), ui::IDC_Picture3), id);
  return GetDlgItem(Window(), id);
}

bool Form1Test::PressAndAnswer(ui::ControlId id, const std::function<bool(HWND)>& answer) {
  bool answered = false;
  PressWith(id, [&] {
    const HWND dialog = id == ui::IDC_CmdBrowse ? WaitForOpenDialog() : WaitForFolderBrowser();
    answered = dialog && answer(dialog);
  });
  return answered;
}

RunSeen Form1Test::SplitInto(const std::wstring& folder, milliseconds limit) {
  RunSeen seen;
  std::atomic<bool> done{false};
  const HWND label = Control(ui::IDC_LblProgessCurrent);
  std::jthread script([&] {
    const HWND browser = WaitForFolderBrowser();
    seen.folderSelected = browser && ChooseFolder(browser, folder);
    if (const HWND box = seen.folderSelected ? WaitForMessageBox(limit) : nullptr) {
      seen.labelWhileBoxShown = TextOf(label).value_or(L"");
      seen.box = ReadMessageBox(box);
      PressAndWaitClosed(box, IDOK);
    }
    done = true;
  });
  Press(ui::IDC_CmdSplit);
  PumpUntil([&] { return done.load(); }, limit + kDialogLimit * 2);
  script.join();
  Pump(50ms);  // let the window finish the handler the box was shown from
  return seen;
}

fs::path Form1Test::WriteSource(const std::string& name, const std::string& bytes) const {
  WriteWholeFile(scratch_ / name, bytes);
  return scratch_ / name;
}

fs::path Form1Test::MakeFolder(const std::string& name) const {
  fs::create_directories(scratch_ / name);
  return scratch_ / name;
}

bool Form1Test::QuitWasPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

}  // namespace quillmere::testing
