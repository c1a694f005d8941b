#pragma once
// Form1, the program's one window: the banner, the source file row, the
// progress count, "Split vCards" and the footer with "E&xit".
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <array>
#include <memory>

#include "artwork.h"
#include "base_window.h"
#include "control_ids.h"
#include "source_chooser.h"
#include "win32_handle.h"
#include "window_run.h"

namespace quillmere::ui {

class Form1 : public BaseWindow<Form1> {
 public:
  Form1() = default;
  ~Form1();

  // Creates the window with its controls and shows it centred in the work
  // area of the monitor that holds the cursor, with the focus in
  // txtvCFPath. False if the window could not be created.
  bool Show(int showCommand);

  // Gives the window's keyboard interface (Tab between controls, Alt+X) the
  // first look at a message from the thread's queue; true if it was used.
  bool HandleDialogKeys(MSG& message);

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Form_Initialize();
  bool Form_Load();
  void Form_Paint();
  void Form_Activate(WORD state);
  HBRUSH Form_CtlColorStatic(HDC dc, HWND control);
  HBRUSH Form_CtlColorBtn(HWND control);
  bool Form_SysCommand(WPARAM command);
  void Form_DpiChanged(int dpi, const RECT& suggested);
  SIZE Form_GetDpiScaledSize(int dpi) const;
  void Form_DropFiles(HDROP drop);
  void Form_SettingChange(bool coloursChanged);
  void Form_EndSession(bool ending);
  void Form_QueryUnload();
  void CmdBrowse_Click();
  void CmdSplit_Click();
  void cmdEnd_Click();
  void Run_Progress();
  void Run_Ended();

  bool CreateControls();
  HWND Control(ControlId id) const { return controls_[static_cast<std::size_t>(id - kFirstControlId)]; }
  void MakeScaledResources();
  void LayOutControls();
  void SetIcons();
  void ShowSelectedSource();
  void StopRunAndUnload();
  void WaitForRunWhilePumping();
  void ShowProgress(std::uint64_t saved, bool runEnded);

  int dpi_ = USER_DEFAULT_SCREEN_DPI;  // the window's own, which the system may change
  ULONGLONG lastAnnounced_ = 0;        // when screen readers last heard of the count
  // txtvCFPath, CmdBrowse, … by their ids: a control is added to the id list
  // and the layout table, and nowhere else.
  std::array<HWND, kControlCount> controls_{};
  Picture Image2;
  Picture Image1;
  win32::UniqueFont font_;
  win32::UniqueFont boldFont_;
  win32::UniqueIcon bigIcon_;
  win32::UniqueIcon smallIcon_;
  HWND focus_ = nullptr;  // the control to give the focus back to
  bool highContrast_ = false;
  bool browsing_ = false;  // the open dialog is up
  bool runEndedWhileBrowsing_ = false;
  bool closing_ = false;
  SourceChooser cdlgFile;
  std::unique_ptr<WindowRun> run_;
};

}  // namespace quillmere::ui
