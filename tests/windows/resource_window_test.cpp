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
#include <vector>

#include "form1.h"
#include "resource_reader.h"
#include "window_driver.h"

namespace quillmere::resources {
namespace {

// An icon's colour and mask pixels, top row first.
struct IconPixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> colour;
  std::vector<std::uint32_t> mask;
  friend bool operator==(const IconPixels&, const IconPixels&) = default;
};

std::vector<std::uint32_t> BitmapPixels(HBITMAP bitmap, int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width * height));
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  ::GetDIBits(win32::WindowDc(nullptr).get(), bitmap, 0, static_cast<UINT>(height), pixels.data(), &info,
              DIB_RGB_COLORS);
  return pixels;
}

IconPixels PixelsOf(HICON icon) {
  IconPixels pixels;
  ICONINFO info{};
  if (!icon || !::GetIconInfo(icon, &info)) return pixels;
  const win32::UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
  BITMAP bitmap{};
  ::GetObjectW(colour ? colour.get() : mask.get(), sizeof bitmap, &bitmap);
  pixels.width = bitmap.bmWidth;
  pixels.height = bitmap.bmHeight;
  if (colour) pixels.colour = BitmapPixels(colour.get(), pixels.width, pixels.height);
  pixels.mask = BitmapPixels(mask.get(), pixels.width, pixels.height);
  return pixels;
}

// The image the system picks from the icon group for a size, made an icon.
win32::UniqueIcon GroupIconAt(int size) {
  const HMODULE self = ::GetModuleHandleW(nullptr);
  Bytes group = ResourceBytes(self, RT_GROUP_ICON, 1, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  if (group.empty()) return {};
  const int id = ::LookupIconIdFromDirectoryEx(group.data(), TRUE, size, size, LR_DEFAULTCOLOR);
  Bytes image =
      ResourceBytes(self, RT_ICON, static_cast<WORD>(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  return win32::UniqueIcon(::CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                                      0x00030000, size, size, LR_DEFAULTCOLOR));
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
  HICON IconOf(WPARAM which) const {
    return reinterpret_cast<HICON>(::SendMessageW(form_->Window(), WM_GETICON, which, 0));
  }

  HRESULT com_ = E_FAIL;
  std::unique_ptr<ui::Form1> form_;
};

TEST_F(Form1Icon, BigIconIsTheGroupImageForTheSystemIconSize) {
  const int size = ::GetSystemMetrics(SM_CXICON);
  const IconPixels shown = PixelsOf(IconOf(ICON_BIG));
  ASSERT_EQ(shown.width, size) << "no big icon, or one of the wrong size";
  const win32::UniqueIcon expected = GroupIconAt(size);
  ASSERT_TRUE(expected);
  EXPECT_TRUE(shown == PixelsOf(expected.get())) << "the big icon is not the program's icon";
}

TEST_F(Form1Icon, SmallIconIsTheGroupImageForTheSmallIconSize) {
  const int size = ::GetSystemMetrics(SM_CXSMICON);
  const IconPixels shown = PixelsOf(IconOf(ICON_SMALL));
  ASSERT_EQ(shown.width, size) << "no small icon, or one of the wrong size";
  const win32::UniqueIcon expected = GroupIconAt(size);
  ASSERT_TRUE(expected);
  EXPECT_TRUE(shown == PixelsOf(expected.get())) << "the small icon is not the program's icon";
}

}  // namespace
}  // namespace quillmere::resources
