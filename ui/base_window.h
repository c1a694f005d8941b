#pragma once
// A top-level or child window class implemented by a C++ object. The object
// is bound to its window at WM_NCCREATE (it arrives as the creation
// parameter) and every later message goes to Derived::HandleMessage.
//
// The window procedure is where C++ meets the system: an exception must not
// unwind through DispatchMessage, which the system calls and which knows
// nothing of them. Every handler's failure stops here, is shown to the user,
// and the program goes on.
#include <windows.h>

#include <exception>

#include "control_ids.h"

namespace quillmere::ui {

// Tells the user that what they just did failed and why (`what` from the
// exception, if any). Allocates nothing, so it works when memory has run out.
inline void ReportHandlerFailure(HWND window, const char* what) noexcept {
  wchar_t text[512] = L"Quillmere could not finish what you asked for: ";
  const int used = lstrlenW(text);
  const int room = static_cast<int>(sizeof text / sizeof text[0]) - used - 1;
  if (what == nullptr || *what == '\0' || MultiByteToWideChar(CP_ACP, 0, what, -1, text + used, room) == 0) {
    lstrcpynW(text + used, L"an unexpected error occurred.", room);
  }
  MessageBoxW(IsWindow(window) ? window : nullptr, text, kAppTitle, MB_OK | MB_ICONWARNING);
}

template <typename Derived>
class BaseWindow {
 public:
  BaseWindow() = default;
  BaseWindow(const BaseWindow&) = delete;
  BaseWindow& operator=(const BaseWindow&) = delete;

  HWND Window() const noexcept { return hwnd_; }

 protected:
  ~BaseWindow() { Destroy(); }

  // Registers the class once per process; the class name must be unique.
  static bool Register(const wchar_t* className, HBRUSH background) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }

  HWND Create(const wchar_t* className, const wchar_t* caption, DWORD style, DWORD exStyle, RECT bounds,
              HWND parent, int id = 0) {
    return CreateWindowExW(exStyle, className, caption, style, bounds.left, bounds.top,
                           bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           static_cast<Derived*>(this));
  }

  void Destroy() noexcept {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  }

  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd_, message, wParam, lParam);
  }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      self = static_cast<Derived*>(create->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);

    LRESULT result = 0;
    try {
      result = self->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& failure) {
      result = FailedResult(message);
      ReportHandlerFailure(hwnd, failure.what());
    } catch (...) {
      result = FailedResult(message);
      ReportHandlerFailure(hwnd, nullptr);
    }
    if (message == WM_NCDESTROY) {
      // The window is gone; the object may outlive it or be destroyed next.
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }

  // A window whose creation failed half-way is not shown half-made.
  static LRESULT FailedResult(UINT message) noexcept {
    if (message == WM_NCCREATE) return FALSE;
    if (message == WM_CREATE) return -1;
    return 0;
  }

  HWND hwnd_ = nullptr;
};

}  // namespace quillmere::ui
