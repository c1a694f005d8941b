#include "dpi.h"

#include "form1_layout.h"

namespace quillmere::ui {

namespace {

// A function of a system library, or nullptr where this system lacks it.
template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  if (module == nullptr) module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

using SetContextFunction = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
using SetAwarenessFunction = HRESULT(WINAPI*)(int);
using SetAwareFunction = BOOL(WINAPI*)();
using DpiForWindowFunction = UINT(WINAPI*)(HWND);
using DpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using MetricForDpiFunction = int(WINAPI*)(int, UINT);

constexpr int kProcessPerMonitorDpiAware = 2;  // PROCESS_PER_MONITOR_DPI_AWARE
constexpr int kMonitorEffectiveDpi = 0;        // MDT_EFFECTIVE_DPI

}  // namespace

void DeclarePerMonitorDpiAwareness() noexcept {
  if (const auto set = SystemFunction<SetContextFunction>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
    if (set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return;
  }
  if (const auto set = SystemFunction<SetAwarenessFunction>(L"shcore.dll", "SetProcessDpiAwareness")) {
    if (SUCCEEDED(set(kProcessPerMonitorDpiAware))) return;
  }
  if (const auto set = SystemFunction<SetAwareFunction>(L"user32.dll", "SetProcessDPIAware")) set();
}

int WindowDpi(HWND window) {
  static const auto dpiFor = SystemFunction<DpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
  const UINT dpi = dpiFor && window ? dpiFor(window) : 0;
  return dpi > 0 ? static_cast<int>(dpi) : ScreenDpi();
}

int MonitorDpi(HMONITOR monitor) {
  static const auto dpiFor = SystemFunction<DpiForMonitorFunction>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (dpiFor && monitor && SUCCEEDED(dpiFor(monitor, kMonitorEffectiveDpi, &x, &y)) && y > 0) {
    return static_cast<int>(y);
  }
  return ScreenDpi();
}

SIZE FrameSize(SIZE client, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjust = SystemFunction<AdjustForDpiFunction>(L"user32.dll", "AdjustWindowRectExForDpi");
  RECT frame{0, 0, client.cx, client.cy};
  if (adjust == nullptr || !adjust(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  }
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

int SystemMetricAt(int metric, int dpi) {
  static const auto metricFor = SystemFunction<MetricForDpiFunction>(L"user32.dll", "GetSystemMetricsForDpi");
  if (metricFor) return metricFor(metric, static_cast<UINT>(dpi));
  return MulDiv(GetSystemMetrics(metric), dpi, ScreenDpi());
}

}  // namespace quillmere::ui
