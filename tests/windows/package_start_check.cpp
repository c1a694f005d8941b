// Starts the window program named on the command line from the current
// folder (the unpacked release zip), waits for its window, closes it, and
// exits 0 only if the program came up and ended normally.
#include <cstdio>
#include <exception>
#include <string>

#include "window_driver.h"

int wmain(int argc, wchar_t** argv) {
  using namespace quillmere::driver;
  if (argc != 2) {
    std::fputs("usage: package_start_check PROGRAM.exe\n", stderr);
    return 2;
  }
  try {
    RemoteProgram program(argv[1]);
    const HWND window = program.WaitForWindow(L"Quillmere by Tarnwell", nullptr, 30s);
    if (!window) {
      std::fprintf(stderr, "%s showed no window \"Quillmere by Tarnwell\"\n", Narrow(argv[1]).c_str());
      return 1;
    }
    program.Close(window);
    DWORD exitCode = 1;
    if (!program.WaitForExit(10s) || !::GetExitCodeProcess(program.Process(), &exitCode) || exitCode != 0) {
      std::fprintf(stderr, "closing the window did not end the program normally (exit code %lu)\n", exitCode);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
