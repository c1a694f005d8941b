// Shows Form1 as the program does, at whatever scale the system gives it,
// and prints what it finds on screen (form1_measure.h) for the test that
// set that scale. The scale is read when a process starts, so each scale
// needs a process of its own.
#include <objbase.h>
#include <windows.h>

#include <cstdio>

#include "dpi.h"
#include "form1.h"
#include "form1_measure.h"
#include "window_driver.h"

int wmain() {
  quillmere::ui::DeclarePerMonitorDpiAwareness();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  quillmere::ui::Form1 form;
  if (!form.Show(SW_SHOWNORMAL)) return 2;
  quillmere::driver::Pump(std::chrono::milliseconds(300));
  const HWND window = form.Window();
  std::fputs(ToText(quillmere::driver::MeasureForm1(window, quillmere::ui::WindowDpi(window))).c_str(),
             stdout);
  return 0;
}
