#pragma once
// The steps a user takes in Quillmere's window, driven from another process.
// Each step waits for what a user would wait for and throws
// std::runtime_error naming the step that did not happen.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "test_files.h"
#include "window_driver.h"

namespace quillmere::testing {

using namespace driver;

// The controls of Form1 that a user looks at or presses.
struct Form1Controls {
  HWND window = nullptr;
  HWND txtvCFPath = nullptr;
  HWND CmdBrowse = nullptr;
  HWND CmdSplit = nullptr;
  HWND LblProgessCurrent = nullptr;
  HWND cmdEnd = nullptr;
};

// Finds the program's window by its caption and the program's PID.
Form1Controls FindForm1(const RemoteProgram& program);

// Presses "Browse...", checks that the dialog offers vCard files, enters
// source as the file name, presses OK, and waits until the window shows it.
void ChooseSource(const RemoteProgram& program, const Form1Controls& form, const std::wstring& source);

// Presses "Split vCards", checks the folder browser's title and selects
// folder in it; returns the browser, still open. StartSplit then presses
// OK: the run starts when it returns.
HWND OpenFolderBrowserAt(const RemoteProgram& program, const Form1Controls& form, const std::wstring& folder);
void StartSplit(const RemoteProgram& program, const Form1Controls& form, const std::wstring& folder);

// The count in a progress text "(n) vCards Saved" or "(n) vCard Saved".
std::optional<std::uint64_t> CountIn(const std::wstring& progress);

}  // namespace quillmere::testing
