// Form1's window procedure and its handlers.
#include "form1.h"

#include <optional>
#include <utility>

#include "form1_layout.h"
#include "live_region.h"
#include "quillmere/messages.h"
#include "registry.h"

namespace quillmere::ui {

namespace {

constexpr COLORREF kPathText = RGB(0, 0, 192);
constexpr COLORREF kProgressText = RGB(0, 0, 0);
constexpr COLORREF kShape1Border = RGB(192, 192, 192);

// Shape1: a grey-edged white rectangle whose left, right and bottom edges lie
// outside the window, so only its top edge and white inside show. In high
// contrast it takes the system's window colours.
void DrawShape1(HDC dc, int dpi, bool highContrast) {
  const RECT at = ToPixels(twips::Shape1, dpi);
  const win32::UniquePen border(
      CreatePen(PS_SOLID, 1, highContrast ? GetSysColor(COLOR_WINDOWTEXT) : kShape1Border));
  const win32::ScopedSelect pen(dc, border.get());
  const win32::ScopedSelect brush(dc, FooterBrush(highContrast));
  Rectangle(dc, at.left, at.top, at.right, at.bottom);
}

// A screen reader reads the whole label at each change: once a second keeps
// the count heard without drowning out everything else.
constexpr ULONGLONG kAnnounceIntervalMs = 1000;

// Shown in the system's list of programs that hold up a logoff or shutdown.
constexpr wchar_t kShutdownBlockReason[] = L"Splitting vCards\x2026";

POINT TopLeft(const TwipsRect& at, int dpi) {
  const RECT pixels = ToPixels(at, dpi);
  return POINT{pixels.left, pixels.top};
}

}  // namespace

LRESULT Form1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE:
      Form_Initialize();
      break;
    case WM_CREATE:
      return Form_Load() ? 0 : -1;
    case WM_PAINT:
      Form_Paint();
      return 0;
    case WM_ACTIVATE:
      Form_Activate(LOWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(
          Form_CtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_CTLCOLORBTN:
      return reinterpret_cast<LRESULT>(Form_CtlColorBtn(reinterpret_cast<HWND>(lParam)));
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      switch (LOWORD(wParam)) {
        case IDC_CmdBrowse:
          CmdBrowse_Click();
          return 0;
        case IDC_CmdSplit:
          CmdSplit_Click();
          return 0;
        case IDC_cmdEnd:
          cmdEnd_Click();
          return 0;
      }
      break;
    case kRunProgressMessage:
      Run_Progress();
      return 0;
    case kRunEndedMessage:
      Run_Ended();
      return 0;
    case WM_SYSCOMMAND:
      if (!Form_SysCommand(wParam)) return 0;
      break;
    case WM_DPICHANGED:
      Form_DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_GETDPISCALEDSIZE:
      *reinterpret_cast<SIZE*>(lParam) = Form_GetDpiScaledSize(static_cast<int>(wParam));
      return TRUE;
    case WM_DROPFILES:
      Form_DropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      Form_SettingChange(message == WM_SYSCOLORCHANGE);
      break;  // the controls hear of it too
    case WM_QUERYENDSESSION:
      // A run stops within moments and leaves only whole cards, so the
      // session may end; while one goes the system's list names it.
      return TRUE;
    case WM_ENDSESSION:
      Form_EndSession(wParam != FALSE);
      return 0;
    case WM_CLOSE:
      Form_QueryUnload();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return Default(message, wParam, lParam);
}

bool Form1::HandleDialogKeys(MSG& message) {
  return Window() != nullptr && IsDialogMessageW(Window(), &message);
}

void Form1::Form_Paint() {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(Window(), &paint);
  ShowPicture(dc, Image2, TopLeft(twips::Image2, dpi_));
  DrawShape1(dc, dpi_, highContrast_);
  ShowPicture(dc, Image1, TopLeft(twips::Image1, dpi_));
  EndPaint(Window(), &paint);
}

// The window keeps the control that had the focus when it lost activation
// (to a message box, a dialog or another program) and gives it back.
void Form1::Form_Activate(WORD state) {
  if (state == WA_INACTIVE) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(Window(), focus)) focus_ = focus;
  } else if (focus_ != nullptr && IsWindowEnabled(focus_)) {
    SetFocus(focus_);
  } else {
    SetFocus(Control(IDC_txtvCFPath));
  }
}

// The labels lie on the plain window colour, so painting their background
// with the window's own brush is exactly what transparency would show, and a
// shorter count never leaves the end of a longer one behind.
HBRUSH Form1::Form_CtlColorStatic(HDC dc, HWND control) {
  // In high contrast only the system's own colours are sure to be readable.
  if (control == Control(IDC_txtvCFPath)) {
    SetTextColor(dc, highContrast_ ? GetSysColor(COLOR_WINDOWTEXT) : kPathText);
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return GetSysColorBrush(COLOR_WINDOW);
  }
  SetBkMode(dc, TRANSPARENT);
  const bool fixedBlack = control == Control(IDC_LblProgessCurrent) && !highContrast_;
  SetTextColor(dc, fixedBlack ? kProgressText : GetSysColor(COLOR_BTNTEXT));
  return GetSysColorBrush(COLOR_BTNFACE);
}

HBRUSH Form1::Form_CtlColorBtn(HWND control) {
  if (control == Control(IDC_cmdEnd)) return FooterBrush(highContrast_);  // on Picture3
  return GetSysColorBrush(COLOR_BTNFACE);
}

// The frame is fixed: a request to maximise or resize the window (which the
// system would carry out even without a maximise box) is refused.
bool Form1::Form_SysCommand(WPARAM command) {
  const WPARAM what = command & 0xFFF0;
  return what != SC_MAXIMIZE && what != SC_SIZE;
}

// Settings change often (and are broadcast to every window); repaint only
// when the colours the window uses may have changed.
void Form1::Form_SettingChange(bool coloursChanged) {
  const bool wasHighContrast = std::exchange(highContrast_, HighContrastIsOn());
  if (coloursChanged || wasHighContrast != highContrast_) {
    RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }
}

// The session is ending: after this returns the process may be ended at any
// moment, so the run stops here, as Exit stops it.
void Form1::Form_EndSession(bool ending) {
  if (ending) StopRunAndUnload();
}

void Form1::Form_QueryUnload() {
  StopRunAndUnload();
}

void Form1::CmdBrowse_Click() {
  browsing_ = true;
  const bool chosen = cdlgFile.Choose(Window());
  browsing_ = false;
  if (chosen) ShowSelectedSource();
  // A run that ended while the dialog was up says so now, not over it.
  if (std::exchange(runEndedWhileBrowsing_, false)) Run_Ended();
}

void Form1::ShowSelectedSource() {
  SetWindowTextW(Control(IDC_txtvCFPath), cdlgFile.Selected().c_str());
  // A run in progress keeps the button off until it ends; the new file is
  // for the next run.
  if (!run_) EnableWindow(Control(IDC_CmdSplit), TRUE);
}

// A file dropped from Explorer or the desktop is chosen as the open dialog
// would choose it. Anything else changes nothing, and the user is told why.
void Form1::Form_DropFiles(HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::wstring path;
  if (count == 1) {
    path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
    path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
  }
  DragFinish(drop);
  std::wstring refusal;
  if (count != 1) {
    refusal = L"Only one vCard file can be split at a time. Drop a single .vcf file on the window.";
  } else if (const DWORD attributes = GetFileAttributesW(path.c_str());
             attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    refusal = path + L"\r\nis a folder. Drop a vCard (.vcf) file on the window instead.";
  }
  if (!refusal.empty()) {
    MessageBoxW(Window(), refusal.c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
    return;
  }
  cdlgFile.Select(std::move(path));
  ShowSelectedSource();
}

void Form1::CmdSplit_Click() {
  if (run_) return;  // one run at a time
  const std::wstring folder = PickFolder(Window(), L"Choose Folder to Save...");
  // A cancelled folder choice is a run that does nothing: start none, so the
  // button does not even flicker.
  if (folder.empty()) return;
  if (GetFocus() == Control(IDC_CmdSplit))
    SetFocus(Control(IDC_CmdBrowse));  // a disabled button cannot keep it
  EnableWindow(Control(IDC_CmdSplit), FALSE);
  lastAnnounced_ = 0;
  run_ = std::make_unique<WindowRun>(Window(), folder, cdlgFile.Selected());
  ShutdownBlockReasonCreate(Window(), kShutdownBlockReason);
}

void Form1::cmdEnd_Click() {
  StopRunAndUnload();
}

// The run stops between lines (never between creating a file and writing
// its card) before the window goes, so no file is left half written. A
// write to a slow share or USB stick may hold the worker a while: the window
// goes from the screen at once, and its messages keep flowing meanwhile, so
// the system never finds it not responding.
void Form1::StopRunAndUnload() {
  if (closing_) return;
  closing_ = true;
  if (run_) {
    ShowWindow(Window(), SW_HIDE);
    run_->RequestStop();
    // An end held back for the open dialog has already been announced.
    if (std::exchange(runEndedWhileBrowsing_, false)) Run_Ended();
    WaitForRunWhilePumping();
  }
  Destroy();
}

// Until Run_Ended has joined the worker. A WM_QUIT met here is kept for the
// program's own message loop.
void Form1::WaitForRunWhilePumping() {
  std::optional<WPARAM> quit;
  while (run_) {
    MsgWaitForMultipleObjectsEx(0, nullptr, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (run_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = message.wParam;
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (quit) PostQuitMessage(static_cast<int>(*quit));
}

void Form1::ShowProgress(std::uint64_t saved, bool runEnded) {
  const HWND label = Control(IDC_LblProgessCurrent);
  SetWindowTextW(label, ProgressText(saved).c_str());
  const ULONGLONG now = GetTickCount64();
  if (runEnded || now - lastAnnounced_ >= kAnnounceIntervalMs) {
    lastAnnounced_ = now;
    AnnounceLiveRegion(label);
  }
}

void Form1::Run_Progress() {
  if (!run_) return;
  if (const auto saved = run_->TakeProgress()) ShowProgress(*saved, false);
}

void Form1::Run_Ended() {
  if (!run_) return;
  if (browsing_ && !closing_) {
    runEndedWhileBrowsing_ = true;
    return;
  }
  const std::unique_ptr<WindowRun> run = std::move(run_);
  run->Join();
  ShutdownBlockReasonDestroy(Window());
  if (closing_) return;  // the window is going: nothing more to show
  // The final count is on screen before the message about it.
  if (const auto saved = run->LastProgress()) ShowProgress(*saved, true);
  UpdateWindow(Control(IDC_LblProgessCurrent));
  EnableWindow(Control(IDC_CmdSplit), TRUE);
  switch (run->Outcome()) {
    case RunOutcome::Finished:
      MessageBoxW(Window(), FinalMessage(run->Summary()).c_str(), kAppTitle, MB_OK | MB_ICONINFORMATION);
      break;
    case RunOutcome::Failed:
      MessageBoxW(Window(), FailureMessage(run->Failure()).c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
      break;
    case RunOutcome::NotStarted:
    case RunOutcome::Stopped:
      break;
  }
}

}  // namespace quillmere::ui
