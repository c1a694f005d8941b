#pragma once
// A real Form1 in the test process, shown on the test's display, with a
// scratch folder of its own and the steps a user takes on it. The platform's
// dialogs it opens are worked from a helper thread (std::jthread, joined when
// it goes) while the test's thread is inside the modal call.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "control_ids.h"
#include "form1.h"
#include "form1_measure.h"
#include "test_files.h"
#include "window_driver.h"

namespace quillmere::testing {

using namespace driver;

// The window's design at 96 dots per inch.
struct Expected {
  ui::ControlId id;
  const wchar_t* className;  // as GetClassName reports it
  RECT pixels;               // left, top, right, bottom in the container's client area
  const wchar_t* text;
  int weight;  // 0: no font of its own
};

// From the design table: left, top, width, height in pixels.
constexpr RECT At(int left, int top, int width, int height) {
  return RECT{left, top, left + width, top + height};
}

inline constexpr Expected kDesign[] = {
    {ui::IDC_Label4, L"Static", At(16, 96, 569, 17), L"Select vCard (.vcf) File", FW_NORMAL},
    {ui::IDC_txtvCFPath, L"Edit", At(16, 112, 377, 25), L"", FW_NORMAL},
    {ui::IDC_CmdBrowse, L"Button", At(400, 112, 97, 25), L"Browse...", FW_NORMAL},
    {ui::IDC_Label1, L"Static", At(16, 144, 569, 17), L"Splitting vCards...", FW_NORMAL},
    {ui::IDC_LblProgessCurrent, L"Static", At(48, 168, 537, 17), L"(0) vCard Saved", FW_NORMAL},
    {ui::IDC_CmdSplit, L"Button", At(176, 208, 169, 33), L"Split vCards", FW_BOLD},
    {ui::IDC_Picture3, ui::kPicture3Class, At(8, 264, 577, 33), L"", 0},
    {ui::IDC_cmdEnd, L"Button", At(392, 0, 97, 25), L"E&xit", FW_NORMAL},
};

// The design scaled to `dpi`, as Form1 lays itself out there: every control's
// place and size, the fonts' height, the banner's height and where the small
// picture drew.
void ExpectLayoutAt(const LayoutSeen& seen, int dpi);

// What a run ended with, as the user saw it.
struct RunSeen {
  bool folderSelected = false;
  std::optional<MessageBoxSeen> box;
  std::wstring labelWhileBoxShown;
};

class Form1Test : public ::testing::Test, public Dialogs {
 protected:
  void SetUp() override;
  void TearDown() override;

  HWND Window() const { return form_->Window(); }
  // Any control by id, including cmdEnd inside Picture3.
  HWND Control(ui::ControlId id) const;
  std::vector<HWND> Controls(std::initializer_list<ui::ControlId> ids) const {
    std::vector<HWND> controls;
    for (ui::ControlId id : ids) controls.push_back(Control(id));
    return controls;
  }
  std::wstring Text(ui::ControlId id) const { return TextOf(Control(id)).value_or(L""); }
  bool Enabled(ui::ControlId id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  // A press as the mouse gives it; returns when the handler has returned.
  void Press(ui::ControlId id) const { SendMessageW(Control(id), BM_CLICK, 0, 0); }
  // Presses the button while `script` works the dialog it opens; the script
  // must end every dialog it finds, or the test's thread never gets back.
  template <typename Script>
  void PressWith(ui::ControlId id, Script script) const {
    std::jthread helper(script);
    Press(id);
  }

  // Presses Browse or Split and answers the open dialog or the folder
  // browser it opens; false when none came or `answer` failed.
  bool PressAndAnswer(ui::ControlId id, const std::function<bool(HWND)>& answer);
  // Browse, then choose `path` in the open dialog or cancel it; false when
  // the dialog never came or did not close.
  bool BrowseAndChoose(const std::wstring& path) {
    return PressAndAnswer(ui::IDC_CmdBrowse, [&](HWND dialog) { return ChooseFile(dialog, path); });
  }
  bool BrowseAndCancel() {
    return PressAndAnswer(ui::IDC_CmdBrowse,
                          [](HWND dialog) { return PressAndWaitClosed(dialog, IDCANCEL); });
  }
  // Split, pick `folder` in the folder browser (true when the run started);
  // SplitInto also waits for the run's message box, reads and closes it.
  bool StartRun(const std::wstring& folder) {
    return PressAndAnswer(ui::IDC_CmdSplit, [&](HWND browser) { return ChooseFolder(browser, folder); });
  }
  RunSeen SplitInto(const std::wstring& folder, milliseconds limit = kDialogLimit);
  bool SplitAndCancel() {
    const bool closed =
        PressAndAnswer(ui::IDC_CmdSplit, [](HWND browser) { return PressAndWaitClosed(browser, IDCANCEL); });
    Pump(100ms);
    return closed;
  }

  fs::path WriteSource(const std::string& name, const std::string& bytes) const;
  fs::path MakeFolder(const std::string& name) const;
  // Whether the program would now end (WM_QUIT posted).
  bool QuitWasPosted();

  std::unique_ptr<ui::Form1> form_;
  std::optional<ScratchFolder> folder_;
  fs::path scratch_;
};

}  // namespace quillmere::testing
