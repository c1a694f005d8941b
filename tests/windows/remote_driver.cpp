#include "remote_driver.h"

#include <stdexcept>

namespace quillmere::remote {
namespace {

std::wstring SystemReason(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = length ? std::wstring(text, length) : L"error " + std::to_wstring(error);
  ::LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r')) reason.pop_back();
  return reason;
}

}  // namespace

RemoteProgram::RemoteProgram(const std::wstring& exe, const std::wstring& args) {
  std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
  // No console and no standard handles: a program left running must not
  // hold the caller's output open (a pipe would never end).
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &info)) {
    throw std::runtime_error("cannot start " + Narrow(exe) + ": " + Narrow(SystemReason(::GetLastError())));
  }
  process_.reset(info.hProcess);
  thread_.reset(info.hThread);
  pid_ = info.dwProcessId;
  if (::WaitForInputIdle(info.hProcess, 20000) != 0) {
    throw std::runtime_error(Narrow(exe) + " did not become ready for input within 20 s");
  }
}

RemoteProgram::~RemoteProgram() {
  if (process_) EndWithin(milliseconds(0));
}

void RemoteProgram::EndWithin(milliseconds limit) {
  if (!WaitForExit(limit)) {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
  }
}

HWND RemoteProgram::WaitForWindow(const wchar_t* caption, milliseconds limit) const {
  return WaitFor([&] { return FindTopLevel(pid_, caption); }, limit);
}

bool RemoteProgram::ChooseFile(HWND dialog, const std::wstring& path, milliseconds limit) const {
  return Shown().TypeFileName(dialog, path, limit) && PressOkAndWaitClosed(dialog, limit);
}

bool RemoteProgram::ChooseFolder(HWND browser, const std::wstring& folder, milliseconds limit) const {
  return SelectFolder(browser, folder, limit) && PressOkAndWaitClosed(browser, limit);
}

// Looks every 20 ms: often enough to time a run of seconds, rarely enough
// not to slow the program down by asking the window server.
std::optional<MessageBoxSeen> RemoteProgram::WaitForMessageBox(milliseconds limit) const {
  const HWND box = Shown().WaitForMessageBox(limit);
  return box ? Shown().ReadMessageBox(box) : std::nullopt;
}

void RemoteProgram::LeaveRunning() {
  process_.reset();
  thread_.reset();
}

bool RemoteProgram::WaitForExit(milliseconds limit) const {
  return ::WaitForSingleObject(process_.get(), static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

void RemoteProgram::Close(HWND window, milliseconds limit) {
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EndWithin(limit);
}

}  // namespace quillmere::remote
