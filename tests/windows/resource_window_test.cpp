// Form1's icons, read inside the process that owns the window (Wine answers
// WM_GETICON and GetIconInfo only there). This test program carries the
// program's own resources, so the window loads its icon exactly as it does
// in Quillmere2.6.exe; each icon must be the icon group's image for its size.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs:
#include <objbase.h>

#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "form1.h"
#include "resource_reader.h"

namespace quillmere::resources {
namespace {

// An icon's size and its colour and mask pixels, top row first.
std::tuple<int, std::vector<std::uint32_t>, std::vector<std::uint32_t>> PixelsOf(HICON icon) {
  ICONINFO info{};
  if (!icon || !::GetIconInfo(icon, &info)) return {};
  const win32::UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
  BITMAP bitmap{};
  ::GetObjectW(colour ? colour.get() : mask.get(), sizeof bitmap, &bitmap);
  const int width = bitmap.bmWidth, height = bitmap.bmHeight;
  return {width, colour ? driver::BitmapPixels(colour.get(), width, height) : std::vector<std::uint32_t>(),
          driver::BitmapPixels(mask.get(), width, height)};
}

class Form1Icon : public ::testing::Test {
 protected:
  void SetUp() override {
    QUILLMERE_SKIP_WITHOUT_DISPLAY();
    com_ = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    form_ = std::make_unique<ui::Form1>();
    ASSERT_TRUE(form_->Show(SW_SHOWNORMAL));
  }
  void TearDown() override {
    form_.reset();
    if (SUCCEEDED(com_)) ::CoUninitialize();
  }
  // The window's icon `which` is the image the system picks from the icon
  // group for `size`, made an icon.
  void ExpectGroupImage(WPARAM which, int size) const {
    const auto shown =
        PixelsOf(reinterpret_cast<HICON>(::SendMessageW(form_->Window(), WM_GETICON, which, 0)));
    ASSERT_EQ(std::get<0>(shown), size) << "no icon, or one of the wrong size";
    const HMODULE self = ::GetModuleHandleW(nullptr);
    Bytes group = ResourceBytes(self, RT_GROUP_ICON, 1, kNeutral);
    ASSERT_FALSE(group.empty());
    const int id = ::LookupIconIdFromDirectoryEx(group.data(), TRUE, size, size, LR_DEFAULTCOLOR);
    Bytes image = ResourceBytes(self, RT_ICON, static_cast<WORD>(id), kNeutral);
    const win32::UniqueIcon expected(::CreateIconFromResourceEx(
        image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR));
    ASSERT_TRUE(expected);
    EXPECT_TRUE(shown == PixelsOf(expected.get())) << "the icon is not the program's icon";
  }

  HRESULT com_ = E_FAIL;
  std::unique_ptr<ui::Form1> form_;
};

TEST_F(Form1Icon, BigIconIsTheGroupImageForTheSystemIconSize) {
  ExpectGroupImage(ICON_BIG, ::GetSystemMetrics(SM_CXICON));
}

TEST_F(Form1Icon, SmallIconIsTheGroupImageForTheSmallIconSize) {
  ExpectGroupImage(ICON_SMALL, ::GetSystemMetrics(SM_CXSMICON));
}

}  // namespace
}  // namespace quillmere::resources
