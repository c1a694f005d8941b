// PickFolder on its own: what it returns for each way the folder browser can
// end.
#include "form1_fixture.h"
#include "registry.h"

namespace quillmere::testing {
namespace {

class FolderChooser : public Form1Test {
 protected:
  // PickFolder while a script chooses `folder` in the browser, or cancels
  // it when `folder` is empty.
  std::wstring Pick(const std::wstring& folder) {
    std::jthread script([&] {
      const HWND browser = WaitForFolderBrowser();
      if (browser && folder.empty()) PressAndWaitClosed(browser, IDCANCEL);
      if (browser && !folder.empty()) ChooseFolder(browser, folder);
    });
    return ui::PickFolder(Window(), L"Choose Folder to Save...");
  }
};

TEST_F(FolderChooser, CancelGivesEmptyText) {
  EXPECT_EQ(Pick(L""), L"");
}

TEST_F(FolderChooser, FolderComesBackWithoutATrailingBackslash) {
  const fs::path folder = MakeFolder("chosen");
  EXPECT_EQ(Pick(folder.wstring()), folder.wstring());
}

TEST_F(FolderChooser, FolderWithSpacesAndNonAsciiNameComesBackWhole) {
  const fs::path folder = scratch_ / L"Kontakte f\u00fcr Z\u00fcrich \u00e9t\u00e9";
  fs::create_directories(folder);
  EXPECT_EQ(Pick(folder.wstring()), folder.wstring());
}

TEST_F(FolderChooser, DriveRootKeepsItsBackslash) {
  EXPECT_EQ(Pick(L"C:\\"), L"C:\\");
}

}  // namespace
}  // namespace quillmere::testing
