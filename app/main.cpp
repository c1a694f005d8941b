// Quillmere2.6.exe: shows the window and runs it until it is closed. The
// program takes no notice of its command line.
#include <objbase.h>
#include <windows.h>

#include "dpi.h"
#include "form1.h"
#include "message_loop.h"

namespace {

// Without a requested execution level in the manifest, Windows runs a 32-bit
// program with UAC file virtualisation: a write under Program Files or
// Windows would land in the user's VirtualStore, and the closing message
// would name a folder that holds nothing. With it off such a write fails as
// access denied, and the run says so. Where the system has no such setting
// (an administrator, a service, an older system) there is nothing to do.
void TurnOffFileVirtualisation() noexcept {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_DEFAULT, &token)) return;
  DWORD enabled = 0;
  SetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled);
  CloseHandle(token);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  // Before any window: told nothing, the system stretches the window as a
  // bitmap at every scale but 100 %, blurring its text and pictures.
  quillmere::ui::DeclarePerMonitorDpiAwareness();
  TurnOffFileVirtualisation();
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
