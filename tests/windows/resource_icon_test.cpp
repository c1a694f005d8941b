// The program's icon: the group lists the six images in their order, each
// image is a well-formed uncompressed one-plane bitmap of its size and depth
// that the system can load, shows a picture, and is byte for byte what the
// icon generator drew for this build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <string>

#include "resource_reader.h"

namespace quillmere::resources {
namespace {

struct ImageRow {
  WORD id;
  int size;  // width and height in pixels
  int bits;  // per pixel
  std::uint32_t bytes;
};

// In the order the group lists them.
constexpr ImageRow kImages[] = {
    {30001, 32, 8, 2216},  {30002, 48, 8, 3752},  {30003, 16, 32, 1128},
    {30004, 24, 32, 2440}, {30005, 32, 32, 4264}, {30006, 48, 32, 9640},
};
constexpr std::size_t kImageCount = std::size(kImages);

constexpr std::size_t kGroupHeader = 6, kGroupEntry = 14, kIcoEntry = 16;

std::size_t RowBytes(int bitsPerRow) {
  return static_cast<std::size_t>((bitsPerRow + 31) / 32 * 4);
}

// The program's resources and its icon group, for every test of the icon.
class IconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = LoadProgramResources();
    ASSERT_TRUE(program_);
    group_ = ResourceBytes(program_.get(), RT_GROUP_ICON, 1, kNeutral);
  }
  Bytes Image(WORD id) const { return ResourceBytes(program_.get(), RT_ICON, id, kNeutral); }

  UniqueModule program_;
  Bytes group_;
};

using IconGroup = IconTest;
using IconFiles = IconTest;

TEST_F(IconGroup, ListsTheSixImagesInOrder) {
  ASSERT_EQ(group_.size(), kGroupHeader + kImageCount * kGroupEntry);
  EXPECT_EQ(Word(group_, 0), 0) << "reserved";
  EXPECT_EQ(Word(group_, 2), 1) << "an icon, not a cursor";
  ASSERT_EQ(Word(group_, 4), kImageCount);
  for (std::size_t i = 0; i < kImageCount; ++i) {
    const ImageRow& row = kImages[i];
    const std::size_t at = kGroupHeader + i * kGroupEntry;
    SCOPED_TRACE(::testing::Message() << "group entry " << i + 1);
    EXPECT_EQ(group_[at], row.size) << "width";
    EXPECT_EQ(group_[at + 1], row.size) << "height";
    EXPECT_EQ(group_[at + 2], 0) << "colour count (0: 256 or more)";
    EXPECT_EQ(group_[at + 3], 0) << "reserved";
    EXPECT_EQ(Word(group_, at + 4), 1) << "planes";
    EXPECT_EQ(Word(group_, at + 6), row.bits) << "bit count";
    EXPECT_EQ(Dword(group_, at + 8), row.bytes) << "byte count";
    EXPECT_EQ(Word(group_, at + 12), row.id) << "image id";
  }
}

// Windows and Wine pick the image for a wanted size from the group; every
// size the window and the shell ask for must find an image of that size.
TEST_F(IconGroup, SystemFindsAnImageOfEachSize) {
  ASSERT_FALSE(group_.empty());
  for (int size : {16, 24, 32, 48}) {
    const int id = ::LookupIconIdFromDirectoryEx(group_.data(), TRUE, size, size, LR_DEFAULTCOLOR);
    const auto found = std::find_if(std::begin(kImages), std::end(kImages),
                                    [id](const ImageRow& row) { return row.id == id; });
    ASSERT_NE(found, std::end(kImages)) << "no image chosen for " << size << " pixels";
    EXPECT_EQ(found->size, size) << "image " << id << " chosen for " << size << " pixels";
  }
}

class IconImage : public IconTest, public ::testing::WithParamInterface<ImageRow> {
 protected:
  void SetUp() override {
    IconTest::SetUp();
    image_ = Image(GetParam().id);
    ASSERT_FALSE(image_.empty()) << "no neutral image " << GetParam().id;
    ASSERT_GE(image_.size(), sizeof(BITMAPINFOHEADER));
    std::memcpy(&header_, image_.data(), sizeof header_);
  }

  std::size_t PaletteBytes() const { return GetParam().bits == 8 ? 256 * 4 : 0; }
  std::size_t ColourRowBytes() const { return RowBytes(GetParam().size * GetParam().bits); }
  std::size_t MaskRowBytes() const { return RowBytes(GetParam().size); }

  // Row y counted from the top, as the picture is seen.
  std::size_t ColourRow(int y) const {
    return sizeof(BITMAPINFOHEADER) + PaletteBytes() +
           static_cast<std::size_t>(GetParam().size - 1 - y) * ColourRowBytes();
  }
  bool Masked(int x, int y) const {
    const std::size_t size = static_cast<std::size_t>(GetParam().size);
    const std::size_t mask = sizeof(BITMAPINFOHEADER) + PaletteBytes() + size * ColourRowBytes();
    const std::size_t row = mask + (size - 1 - static_cast<std::size_t>(y)) * MaskRowBytes();
    return image_[row + static_cast<std::size_t>(x / 8)] & (0x80 >> (x % 8));
  }
  // The pixel as red, green, blue and alpha (255 for palette images).
  std::uint32_t Pixel(int x, int y) const {
    const std::size_t row = ColourRow(y);
    if (GetParam().bits == 8) {
      const std::size_t entry = sizeof(BITMAPINFOHEADER) + image_[row + static_cast<std::size_t>(x)] * 4u;
      return Dword(image_, entry) | 0xFF000000u;
    }
    return Dword(image_, row + static_cast<std::size_t>(x) * 4);
  }

  Bytes image_;
  BITMAPINFOHEADER header_{};
};

TEST_P(IconImage, HeaderDescribesAnUncompressedOnePlaneImage) {
  const ImageRow& row = GetParam();
  EXPECT_EQ(header_.biSize, sizeof(BITMAPINFOHEADER));
  EXPECT_EQ(header_.biWidth, row.size);
  EXPECT_EQ(header_.biHeight, 2 * row.size) << "colour rows and mask rows together";
  EXPECT_EQ(header_.biPlanes, 1);
  EXPECT_EQ(header_.biBitCount, row.bits);
  EXPECT_EQ(header_.biCompression, static_cast<DWORD>(BI_RGB));
  if (row.bits == 8) {
    EXPECT_TRUE(header_.biClrUsed == 0 || header_.biClrUsed == 256) << "a full 256-colour palette";
  } else {
    EXPECT_EQ(header_.biClrUsed, 0u) << "no palette before the pixels";
  }
}

// Header, palette, colour rows and mask rows, each row padded to 4 bytes,
// and not one byte more.
TEST_P(IconImage, LayoutAddsUpToItsByteCount) {
  const ImageRow& row = GetParam();
  const std::size_t rows = static_cast<std::size_t>(row.size);
  EXPECT_EQ(sizeof(BITMAPINFOHEADER) + PaletteBytes() + rows * ColourRowBytes() + rows * MaskRowBytes(),
            row.bytes);
  EXPECT_EQ(image_.size(), row.bytes);
}

// Where the mask lets the screen show through, the colour part must add
// nothing (black, clear), or systems that draw with the mask show a fringe;
// 32-bit images mask exactly their fully clear pixels.
TEST_P(IconImage, MaskHidesExactlyTheClearPixels) {
  ASSERT_EQ(image_.size(), GetParam().bytes);
  const int size = GetParam().size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const std::uint32_t pixel = Pixel(x, y);
      if (GetParam().bits == 32) {
        ASSERT_EQ(Masked(x, y), (pixel >> 24) == 0) << "pixel " << x << "," << y;
      }
      if (Masked(x, y)) {
        ASSERT_EQ(pixel & 0xFFFFFFu, 0u) << "pixel " << x << "," << y;
      }
    }
  }
}

// A picture, not a blank or a filled square: both shown and see-through
// pixels, and several colours among the shown ones.
TEST_P(IconImage, ShowsAPicture) {
  ASSERT_EQ(image_.size(), GetParam().bytes);
  const int size = GetParam().size;
  int shown = 0;
  std::set<std::uint32_t> colours;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if (Masked(x, y)) continue;
      ++shown;
      colours.insert(Pixel(x, y) & 0xFFFFFFu);
    }
  }
  EXPECT_GT(shown, size * size / 2) << "the picture fills too little of the image";
  EXPECT_LT(shown, size * size) << "nothing of the background shows through";
  EXPECT_GE(colours.size(), 5u);
}

TEST_P(IconImage, SystemMakesAnIconOfItsSize) {
  const int size = GetParam().size;
  const win32::UniqueIcon icon(::CreateIconFromResourceEx(image_.data(), static_cast<DWORD>(image_.size()),
                                                          TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR));
  ASSERT_TRUE(icon) << "error " << ::GetLastError();
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
  const win32::UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
  BITMAP bitmap{};
  ASSERT_TRUE(::GetObjectW(colour ? colour.get() : mask.get(), sizeof bitmap, &bitmap));
  EXPECT_EQ(bitmap.bmWidth, size);
}

INSTANTIATE_TEST_SUITE_P(Group, IconImage, ::testing::ValuesIn(kImages), [](const auto& row) {
  return "Image" + std::to_string(row.param.id) + "_" + std::to_string(row.param.size) + "px_" +
         std::to_string(row.param.bits) + "bpp";
});

// The build draws the icon from code; the program must carry exactly what
// the generator wrote, not a stale or hand-edited copy.
TEST_F(IconFiles, ProgramCarriesTheGeneratedImagesAndGroup) {
  const std::wstring folder = driver::WindowsPath(QUILLMERE_ICON_DIR) + L"\\";
  const Bytes group = FileBytes(folder + L"icon-group.bin");
  ASSERT_FALSE(group.empty()) << "the generated group is missing";
  EXPECT_EQ(group_, group);
  for (const ImageRow& row : kImages) {
    const Bytes drawn = FileBytes(folder + L"icon-" + std::to_wstring(row.id) + L".dib");
    ASSERT_FALSE(drawn.empty()) << "the generated image " << row.id << " is missing";
    EXPECT_EQ(Image(row.id), drawn) << "image " << row.id;
  }
}

// The .ico the generator writes for other uses (an installer, a web page)
// holds the same six images with the same directory as the group.
TEST_F(IconFiles, IcoFileHoldsTheSameImagesAsTheProgram) {
  const Bytes ico = FileBytes(driver::WindowsPath(QUILLMERE_ICON_DIR) + L"\\quillmere.ico");
  ASSERT_GE(ico.size(), kGroupHeader + kImageCount * kIcoEntry);
  ASSERT_EQ(group_.size(), kGroupHeader + kImageCount * kGroupEntry);
  EXPECT_TRUE(std::equal(group_.begin(), group_.begin() + kGroupHeader, ico.begin()));
  std::size_t expectedOffset = kGroupHeader + kImageCount * kIcoEntry;
  for (std::size_t i = 0; i < kImageCount; ++i) {
    const std::size_t entry = kGroupHeader + i * kIcoEntry;
    const auto groupEntry = group_.begin() + static_cast<std::ptrdiff_t>(kGroupHeader + i * kGroupEntry);
    EXPECT_TRUE(std::equal(groupEntry, groupEntry + 12, ico.begin() + static_cast<std::ptrdiff_t>(entry)))
        << "ico entry " << i + 1;
    const std::uint32_t offset = Dword(ico, entry + 12);
    EXPECT_EQ(offset, expectedOffset) << "ico entry " << i + 1;
    const Bytes image = Image(kImages[i].id);
    ASSERT_LE(offset + image.size(), ico.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), ico.begin() + offset)) << "image " << kImages[i].id;
    expectedOffset += image.size();
  }
  EXPECT_EQ(ico.size(), expectedOffset) << "bytes after the last image";
}

}  // namespace
}  // namespace quillmere::resources
