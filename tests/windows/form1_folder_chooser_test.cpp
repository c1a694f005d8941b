// PickFolder on its own: what it returns for each way the folder browser can
// end.
#include "form1_fixture.h"
#include "registry.h"

namespace quillmere::testing {
namespace {

class FolderChooser : public Form1Test {
 protected:
  // PickFolder with a script working the browser.
  std::wstring Pick(const std::function<void(HWND)>& work) {
    DialogScript script([&] {
      if (const HWND browser = WaitForFolderBrowser()) work(browser);
    });
    return ui::PickFolder(Window(), L"Choose Folder to Save...");
  }
};

TEST_F(FolderChooser, CancelGivesEmptyText) {
  EXPECT_EQ(Pick([](HWND b) { PressAndWaitClosed(b, IDCANCEL); }), L"");
}

TEST_F(FolderChooser, FolderComesBackWithoutATrailingBackslash) {
  const fs::path folder = MakeFolder("chosen");
  std::wstring picked =
      Pick([&](HWND b) { PressAndWaitClosed(b, SelectFolder(b, folder.wstring()) ? IDOK : IDCANCEL); });
  EXPECT_EQ(picked, folder.wstring());
}

TEST_F(FolderChooser, FolderWithSpacesAndNonAsciiNameComesBackWhole) {
  const fs::path folder = scratch_ / L"Kontakte f\u00fcr Z\u00fcrich \u00e9t\u00e9";
  fs::create_directories(folder);
  std::wstring picked =
      Pick([&](HWND b) { PressAndWaitClosed(b, SelectFolder(b, folder.wstring()) ? IDOK : IDCANCEL); });
  EXPECT_EQ(picked, folder.wstring());
}

TEST_F(FolderChooser, DriveRootKeepsItsBackslash) {
  std::wstring picked =
      Pick([&](HWND b) { PressAndWaitClosed(b, SelectFolder(b, L"C:\\") ? IDOK : IDCANCEL); });
  EXPECT_EQ(picked, L"C:\\");
}

}  // namespace
}  // namespace quillmere::testing
