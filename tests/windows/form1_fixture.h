#pragma once
// A real Form1 in the test process, shown on the test's display, with a
// scratch folder of its own and the steps a user takes on it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control_ids.h"
#include "dialog_driver.h"
#include "form1.h"

namespace quillmere::testing {

namespace fs = std::filesystem;

// What a run ended with, as the user saw it.
struct RunSeen {
  bool browserFound = false;
  bool folderSelected = false;
  std::optional<MessageBoxSeen> box;
  std::wstring labelWhileBoxShown;
};

class Form1Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  HWND Window() const { return form_->Window(); }
  // Any control by id, including cmdEnd inside Picture3.
  HWND Control(ui::ControlId id) const;
  std::wstring Text(ui::ControlId id) const { return TextOf(Control(id)); }
  bool Enabled(ui::ControlId id) const { return IsWindowEnabled(Control(id)) != FALSE; }

  // A press as the mouse gives it; returns when the handler has returned
  // (with a modal dialog worked by a script meanwhile).
  void Click(ui::ControlId id) const;

  // Browse, then choose `path` in the open dialog (typed into its file-name
  // field) or cancel it. False when the dialog never came or did not close.
  bool BrowseAndChoose(const std::wstring& path);
  bool BrowseAndCancel();

  // Split, pick `folder` in the folder browser, and wait for the run's
  // message box, which is read and closed.
  RunSeen SplitInto(const std::wstring& folder, milliseconds limit = kDialogLimit);
  // Split and cancel the folder browser.
  bool SplitAndCancel();

  // A file in the scratch folder with these bytes.
  fs::path WriteSource(const std::string& name, const std::string& bytes) const;
  // A new empty folder in the scratch folder.
  fs::path MakeFolder(const std::string& name) const;
  // Closes the window as the program would and says whether the program
  // would now end (WM_QUIT posted).
  bool QuitWasPosted();

  std::unique_ptr<ui::Form1> form_;
  fs::path scratch_;
};

// The names of the files in a folder, sorted.
std::vector<std::wstring> FilesIn(const fs::path& folder);
std::string ReadAll(const fs::path& file);

// `count` cards, each with a name that tells them apart: "Person <n>".
std::string Cards(int count, const std::string& lineEnd = "\r\n");
// Card n of Cards() as a run writes it into its own file.
std::string CardFile(std::uint64_t n);

}  // namespace quillmere::testing
