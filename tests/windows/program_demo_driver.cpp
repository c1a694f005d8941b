// quillmere-demo-driver: works Quillmere's window from outside for the run
// command and the window benchmark.
//
//   quillmere-demo-driver split PROGRAM SOURCE FOLDER [--keep-open]
//       Starts PROGRAM, chooses SOURCE with "Browse...", splits into FOLDER,
//       presses OK on the closing message and prints what the user saw, the
//       window's place on the screen and how long the run took (from OK in
//       the folder browser to the closing message). Closes the program
//       unless --keep-open is given.
//   quillmere-demo-driver close
//       Closes the window "Quillmere by Tarnwell" and waits for its program.
//   quillmere-demo-driver time PROGRAM [ARGS...]
//       Runs PROGRAM to its end and prints how long it took and its exit code.
// Paths may be Unix paths (taken as Z:) or Windows paths, whole or relative.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "control_ids.h"
#include "program_steps.h"

namespace {

using namespace quillmere;
using namespace quillmere::testing;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The message on one line, its line breaks shown as " | ".
std::string OneLine(std::wstring text) {
  for (size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;) text.replace(at, 2, L" | ");
  return Narrow(text);
}

// A path as the program's dialogs need it: whole, from its drive.
std::wstring FullPath(const std::string& path) {
  const std::wstring windowsPath = WindowsPath(path);
  wchar_t full[MAX_PATH] = {};
  const DWORD length = ::GetFullPathNameW(windowsPath.c_str(), MAX_PATH, full, nullptr);
  return length && length < MAX_PATH ? std::wstring(full) : windowsPath;
}

int Split(const std::vector<std::string>& args) {
  if (args.size() < 3) throw std::runtime_error("split needs PROGRAM SOURCE FOLDER");
  const bool keepOpen = args.size() > 3 && args[3] == "--keep-open";
  RemoteProgram program(FullPath(args[0]));
  const auto form = FindForm1(program);
  ChooseSource(program, form, FullPath(args[1]));
  HWND browser = OpenFolderBrowserAt(program, form, FullPath(args[2]));

  const auto started = Clock::now();
  Click(::GetDlgItem(browser, IDOK));
  const auto box = program.NextMessageBox(600s);
  const double runMs = MillisecondsSince(started);
  if (!box) throw std::runtime_error("no closing message within 600 s");
  std::printf("message: %s\n", OneLine(box->text).c_str());
  std::printf("label: %s\n", Narrow(TextOf(form.LblProgessCurrent).value_or(L"")).c_str());
  std::printf("run_ms: %.1f\n", runMs);
  PressAndWaitClosed(box->box, IDOK);

  ::Sleep(500);  // let the window repaint where the message was
  RECT frame = {};
  ::GetWindowRect(form.window, &frame);
  std::printf("window: %ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
              frame.bottom - frame.top);
  std::fflush(stdout);
  if (keepOpen) {
    program.LeaveRunning();
  } else {
    program.Close(form.window);
  }
  return 0;
}

int Close() {
  HWND window = FindTopLevel(0, ui::kForm1Caption);
  if (!window) return 0;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  win32::UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  if (process && ::WaitForSingleObject(process.get(), 5000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return 1;
  }
  return 0;
}

int Time(const std::vector<std::string>& args) {
  if (args.empty()) throw std::runtime_error("time needs PROGRAM");
  const std::wstring exe = FullPath(args[0]);
  std::wstring commandLine = L"\"" + exe + L"\"";
  for (size_t i = 1; i < args.size(); ++i) commandLine += L" \"" + FullPath(args[i]) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const auto started = Clock::now();
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    throw std::runtime_error("cannot start " + args[0]);
  }
  win32::UniqueHandle process(info.hProcess), thread(info.hThread);
  ::WaitForSingleObject(info.hProcess, INFINITE);
  const double runMs = MillisecondsSince(started);
  DWORD exitCode = 0;
  ::GetExitCodeProcess(info.hProcess, &exitCode);
  std::printf("run_ms: %.1f\nexit: %lu\n", runMs, exitCode);
  return exitCode == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 2), argv + argc);
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "split") return Split(args);
    if (command == "close") return Close();
    if (command == "time") return Time(args);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "quillmere-demo-driver: %s\n", failure.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: quillmere-demo-driver split PROGRAM SOURCE FOLDER [--keep-open]\n"
               "       quillmere-demo-driver close\n"
               "       quillmere-demo-driver time PROGRAM [ARGS...]\n");
  return 2;
}
