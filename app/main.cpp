// Quillmere2.6.exe: shows the window and runs it until it is closed. The
// program takes no notice of its command line.
#include <objbase.h>
#include <windows.h>

#include "form1.h"
#include "message_loop.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  // The shell's folder browser needs a single-threaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int exitCode = 1;
  {
    quillmere::ui::Form1 form;
    if (form.Show(showCommand)) exitCode = quillmere::ui::RunMessageLoop(form);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}
