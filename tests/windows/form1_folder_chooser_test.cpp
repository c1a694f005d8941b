// PickFolder on its own: what it returns for each way the folder browser can
// end, and the path it reads from the item chosen.
#include <shlobj.h>
#include <wrl/client.h>

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

// A MAX_PATH buffer gives "" for a folder deeper than 260 characters: the
// window then did nothing and said nothing.
TEST_F(FolderChooser, FolderDeeperThanMaxPathComesBackWhole) {
  std::wstring deep = MakeFolder("deep").wstring();
  const fs::path names = MakeFolder("names");
  win32::UniquePidl item(ILCreateFromPathW(deep.c_str()));
  ASSERT_TRUE(item);
  // Each level's item is read where its name is short to reach (an item
  // holds its own name only), then put after the levels above it.
  Microsoft::WRL::ComPtr<IShellFolder> desktop, shortParent;
  ASSERT_HRESULT_SUCCEEDED(SHGetDesktopFolder(&desktop));
  const win32::UniquePidl namesItem(ILCreateFromPathW(names.c_str()));
  ASSERT_HRESULT_SUCCEEDED(desktop->BindToObject(namesItem.get(), nullptr, IID_PPV_ARGS(&shortParent)));
  while (deep.size() <= 300) {
    const std::wstring name = L"level" + std::to_wstring(deep.size()) + L"-" + std::wstring(40, L'x');
    deep += L"\\" + name;
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((names / name).c_str(), nullptr));
    PIDLIST_RELATIVE child = nullptr;
    ASSERT_HRESULT_SUCCEEDED(shortParent->ParseDisplayName(
        nullptr, nullptr, const_cast<wchar_t*>(name.c_str()), nullptr, &child, nullptr));
    item.reset(ILCombine(item.get(), child));
    CoTaskMemFree(child);
  }
  const auto path = ui::FileSystemPathOf(item.get());
  if (UnderWine()) {
    // Wine's shell cuts every item's path at MAX_PATH: the folder must come
    // back whole or not at all, never as a shorter path naming another one.
    EXPECT_TRUE(!path || *path == deep) << Narrow(path.value_or(L""));
  } else {
    EXPECT_EQ(path, deep);
  }
}

// The browser offers only file-system folders, yet shells and namespace
// extensions may still hand back an item without a path.
TEST_F(FolderChooser, ItemWithoutAFileSystemPathHasNone) {
  PIDLIST_ABSOLUTE controls = nullptr;
  ASSERT_HRESULT_SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_CONTROLS, &controls));
  const win32::UniquePidl item(controls);
  EXPECT_EQ(ui::FileSystemPathOf(item.get()), std::nullopt);
}

}  // namespace
}  // namespace quillmere::testing
