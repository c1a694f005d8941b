// Making Form1: the window, its controls from the layout table, its fonts,
// pictures and icon, all at the window's own scale, and again whenever the
// system moves it to another.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>

#include "dpi.h"
#include "form1.h"
#include "form1_layout.h"
#include "live_region.h"
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

// The application icon at one system size for the window's scale; the
// system's default icon when the program carries none.
win32::UniqueIcon AppIcon(int sizeMetricX, int sizeMetricY, int dpi) {
  return win32::UniqueIcon(
      static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                    SystemMetricAt(sizeMetricX, dpi), SystemMetricAt(sizeMetricY, dpi), 0)));
}

// The window's outer size for its designed client area at `dpi`: the same
// size in points at every scale.
SIZE FrameAt(int dpi) {
  const RECT client = ToPixels(twips::Form1Client, dpi);
  return FrameSize(SIZE{client.right, client.bottom}, kFrameStyle, kFrameExStyle, dpi);
}

struct Screen {
  RECT work;
  int dpi;
};

// The monitor that holds the cursor, where the user is looking; its work
// area leaves out the taskbar.
Screen CursorScreen() {
  POINT cursor{};
  GetCursorPos(&cursor);
  const HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
  return Screen{info.rcWork, MonitorDpi(monitor)};
}

// Centred in `work`; a window larger than that keeps its caption inside it.
RECT CentredIn(const RECT& work, SIZE size) {
  const LONG left = std::max(work.left, work.left + (work.right - work.left - size.cx) / 2);
  const LONG top = std::max(work.top, work.top + (work.bottom - work.top - size.cy) / 2);
  return RECT{left, top, left + size.cx, top + size.cy};
}

void MoveTo(HWND window, const RECT& at) {
  SetWindowPos(window, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Files dropped from Explorer reach the window even when it runs elevated
// (as administrator), which otherwise refuses messages from lower programs.
void AcceptDroppedFiles(HWND window) {
  DragAcceptFiles(window, TRUE);
  constexpr UINT kCopyGlobalData = 0x0049;  // WM_COPYGLOBALDATA, which carries the drop
  for (const UINT message :
       {static_cast<UINT>(WM_DROPFILES), static_cast<UINT>(WM_COPYDATA), kCopyGlobalData}) {
    ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
  }
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
  // Made where it is shown, so that the system gives it that monitor's
  // scale from the start.
  const Screen screen = CursorScreen();
  dpi_ = screen.dpi;
  if (Create(kForm1Class, kForm1Caption, kFrameStyle, kFrameExStyle, CentredIn(screen.work, FrameAt(dpi_)),
             nullptr) == nullptr) {
    return false;
  }
  // Form_Load took the scale the system gave the window.
  if (dpi_ != screen.dpi) MoveTo(Window(), CentredIn(screen.work, FrameAt(dpi_)));
  SetIcons();
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
  dpi_ = WindowDpi(Window());
  MakeScaledResources();
  highContrast_ = HighContrastIsOn();
  if (!CreateControls()) return false;
  MarkPoliteLiveRegion(Control(IDC_LblProgessCurrent));
  AcceptDroppedFiles(Window());
  focus_ = Control(IDC_txtvCFPath);
  return true;
}

// The fonts and pictures at the window's scale, drawn for it rather than
// stretched, so no gap opens beside the pictures and nothing blurs.
void Form1::MakeScaledResources() {
  font_ = TahomaFont(dpi_, FW_NORMAL);
  boldFont_ = TahomaFont(dpi_, FW_BOLD);
  Image2 = DrawBanner(dpi_);
  Image1 = DrawCardsPictogram(dpi_);
}

bool Form1::CreateControls() {
  for (const ControlRow& row : kControls) {
    const HWND container = row.container == 0 ? Window() : Control(IDC_Picture3);
    HWND& control = controls_[static_cast<std::size_t>(row.id - kFirstControlId)];
    control = CreateWindowExW(row.exStyle, row.className, row.text, row.style, 0, 0, 0, 0, container,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)),
                              GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr) return false;
  }
  LayOutControls();
  return true;
}

void Form1::LayOutControls() {
  for (const ControlRow& row : kControls) {
    const HWND control = Control(row.id);
    MoveTo(control, ToPixels(row.at, dpi_));
    const HFONT font = row.weight == FontWeight::Bold ? boldFont_.get() : font_.get();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
}

// The window was moved to a monitor of another scale, or the user changed
// the scale: everything is made again for it, and the window takes the
// place and size the system suggests, which Form_GetDpiScaledSize gave.
void Form1::Form_DpiChanged(int dpi, const RECT& suggested) {
  dpi_ = dpi;
  // The controls draw with the old fonts until they are handed the new ones.
  const win32::UniqueFont oldFont = std::move(font_), oldBoldFont = std::move(boldFont_);
  MakeScaledResources();
  LayOutControls();
  SetIcons();
  MoveTo(Window(), suggested);
  InvalidateRect(Window(), nullptr, TRUE);
}

// The same size in points at the new scale, exactly: the system's own
// scaling of the frame would round the client area a pixel off.
SIZE Form1::Form_GetDpiScaledSize(int dpi) const {
  return FrameAt(dpi);
}

void Form1::SetIcons() {
  // The window keeps showing the old icons until it is handed the new ones.
  const win32::UniqueIcon oldBig = std::move(bigIcon_), oldSmall = std::move(smallIcon_);
  bigIcon_ = AppIcon(SM_CXICON, SM_CYICON, dpi_);
  smallIcon_ = AppIcon(SM_CXSMICON, SM_CYSMICON, dpi_);
  const HICON fallback = LoadIconW(nullptr, IDI_APPLICATION);  // shared: never destroyed
  SendMessageW(Window(), WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(bigIcon_ ? bigIcon_.get() : fallback));
  SendMessageW(Window(), WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(smallIcon_ ? smallIcon_.get() : fallback));
}

}  // namespace quillmere::ui
