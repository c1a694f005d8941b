// Making Form1: the window, its controls from the layout table, its fonts,
// pictures and icon.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "form1.h"
#include "form1_layout.h"
#include "picture3_panel.h"

namespace quillmere::ui {

namespace {

constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFrameExStyle = WS_EX_DLGMODALFRAME;

win32::UniqueFont TahomaFont(int dpi, int weight) {
  const int height = -MulDiv(kFontHundredthsOfPoint, dpi, 72 * 100);
  return win32::UniqueFont(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                       DEFAULT_PITCH | FF_DONTCARE, kFontFace));
}

// The frame is fixed: a shortcut set to "Maximized" or `start /max` must not
// give a screen-filling grey window with the layout in a corner. Minimised
// stays as asked.
int FixedSizeShowCommand(int showCommand) {
  return showCommand == SW_SHOWMAXIMIZED ? SW_SHOWNORMAL : showCommand;
}

// The application icon at one system size; the system's default icon when
// the program carries none.
win32::UniqueIcon AppIcon(int sizeMetricX, int sizeMetricY) {
  return win32::UniqueIcon(
      static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                    GetSystemMetrics(sizeMetricX), GetSystemMetrics(sizeMetricY), 0)));
}

}  // namespace

Form1::~Form1() {
  if (run_) run_->Stop();
  Destroy();
}

bool Form1::Show(int showCommand) {
  if (!Register(kForm1Class, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)) || !RegisterPicture3Class()) {
    return false;
  }
  dpi_ = ScreenDpi();
  RECT frame = ToPixels(twips::Form1Client, dpi_);
  AdjustWindowRectEx(&frame, kFrameStyle, FALSE, kFrameExStyle);
  frame = RECT{0, 0, frame.right - frame.left, frame.bottom - frame.top};
  if (Create(kForm1Class, kForm1Caption, kFrameStyle, kFrameExStyle, frame, nullptr) == nullptr) {
    return false;
  }
  SetIcons();
  CentreOnScreen();
  ShowWindow(Window(), FixedSizeShowCommand(showCommand));
  // The first ShowWindow of a process may take its command from the
  // starter's STARTUPINFO instead of the one given.
  if (IsZoomed(Window())) ShowWindow(Window(), SW_RESTORE);
  UpdateWindow(Window());
  SetFocus(Control(IDC_txtvCFPath));
  return true;
}

void Form1::Form_Initialize() {
  InitCommonControls();
}

bool Form1::Form_Load() {
  font_ = TahomaFont(dpi_, FW_NORMAL);
  boldFont_ = TahomaFont(dpi_, FW_BOLD);
  highContrast_ = HighContrastIsOn();
  // At the window's scale, like the layout, so no gap opens beside them.
  Image2 = DrawBanner(dpi_);
  Image1 = DrawCardsPictogram(dpi_);
  if (!CreateControls()) return false;
  focus_ = Control(IDC_txtvCFPath);
  return true;
}

bool Form1::CreateControls() {
  for (const ControlRow& row : kControls) {
    const HWND container = row.container == 0 ? Window() : Control(IDC_Picture3);
    const RECT at = ToPixels(row.at, dpi_);
    HWND& control = controls_[static_cast<std::size_t>(row.id - kFirstControlId)];
    control =
        CreateWindowExW(row.exStyle, row.className, row.text, row.style, at.left, at.top, at.right - at.left,
                        at.bottom - at.top, container, reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)),
                        GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr) return false;
    const HFONT font = row.weight == FontWeight::Bold ? boldFont_.get() : font_.get();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  return true;
}

void Form1::SetIcons() {
  bigIcon_ = AppIcon(SM_CXICON, SM_CYICON);
  smallIcon_ = AppIcon(SM_CXSMICON, SM_CYSMICON);
  const HICON fallback = LoadIconW(nullptr, IDI_APPLICATION);  // shared: never destroyed
  SendMessageW(Window(), WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(bigIcon_ ? bigIcon_.get() : fallback));
  SendMessageW(Window(), WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(smallIcon_ ? smallIcon_.get() : fallback));
}

void Form1::CentreOnScreen() {
  RECT frame{};
  GetWindowRect(Window(), &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(Window(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace quillmere::ui
