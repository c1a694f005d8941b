#pragma once
// The window's scale on Windows 7 to 11. A program that does not say it is
// per-monitor aware is told 96 dots per inch and stretched as a bitmap, so
// its text and pictures blur at every other scale. The manifest may hold
// nothing but the common controls, so the program says it at start-up, and
// each call that a system may lack is looked up at run time.
#include <windows.h>

namespace quillmere::ui {

// Per-monitor awareness, version 2 where the system has it (Windows 10
// 1703), else per monitor (8.1), else system-wide (Vista, 7). Must come
// before the first window of the process.
void DeclarePerMonitorDpiAwareness() noexcept;

// The dots per inch the system lays this window out at; the screen's where
// the system knows no other.
int WindowDpi(HWND window);

// The dots per inch of a monitor; the screen's where the system has no
// per-monitor scale.
int MonitorDpi(HMONITOR monitor);

// The outer size of a window whose client area is `client` at `dpi`.
SIZE FrameSize(SIZE client, DWORD style, DWORD exStyle, int dpi);

// A system metric (SM_CXICON, ...) at `dpi`.
int SystemMetricAt(int metric, int dpi);

}  // namespace quillmere::ui
