#include "picture3_panel.h"

#include "control_ids.h"
#include "form1_layout.h"

namespace quillmere::ui {

namespace {

LRESULT CALLBACK Picture3Procedure(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    // Form1 handles the clicks and colours of every control, including the
    // one that lives in this panel.
    case WM_COMMAND:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return SendMessageW(GetParent(panel), message, wParam, lParam);
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(panel, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, FooterBrush(HighContrastIsOn()));
      return TRUE;
    }
    default:
      return DefWindowProcW(panel, message, wParam, lParam);
  }
}

}  // namespace

bool RegisterPicture3Class() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Picture3Procedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kPicture3Class;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace quillmere::ui
