// What Form1 paints itself: the banner, the small picture with its
// transparent colour, and the footer's grey line and white band, read back
// from the window's pixels.
#include "form1_fixture.h"
#include "win32_handle.h"

namespace quillmere::testing {
namespace {

class Form1Paint : public Form1Test {
 protected:
  COLORREF PixelAt(int x, int y) {
    RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return GetPixel(win32::WindowDc(Window()).get(), x, y);
  }
  static COLORREF Face() { return GetSysColor(COLOR_BTNFACE); }
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kFooterLine = RGB(192, 192, 192);

TEST_F(Form1Paint, FooterLineRunsAcrossTheWholeWidth) {
  for (int x : {0, 3, 200, 516}) {
    EXPECT_EQ(PixelAt(x, 256), kFooterLine) << "x " << x;
    EXPECT_EQ(PixelAt(x, 255), Face()) << "x " << x;
  }
}

TEST_F(Form1Paint, WhiteBandFillsTheFooterAroundTheExitButton) {
  for (POINT p : {POINT{0, 257}, POINT{4, 296}, POINT{100, 280}, POINT{516, 270}, POINT{510, 296}}) {
    EXPECT_EQ(PixelAt(p.x, p.y), kWhite) << "at " << p.x << "," << p.y;
  }
}

TEST_F(Form1Paint, BannerCoversTheTopEdgeToEdge) {
  for (POINT p : {POINT{0, 0}, POINT{300, 40}, POINT{516, 84}}) {
    const COLORREF c = PixelAt(p.x, p.y);
    EXPECT_NE(c, Face()) << "at " << p.x << "," << p.y;
    EXPECT_NE(c, kWhite) << "at " << p.x << "," << p.y;
  }
  EXPECT_EQ(PixelAt(300, 85), Face()) << "the banner is 85 pixels high";
}

TEST_F(Form1Paint, SmallPictureLetsTheWindowColourThroughItsCorners) {
  // Image1 is at 16,165, 22 x 22: its corners are see-through, its middle is not.
  EXPECT_EQ(PixelAt(16, 165), Face());
  EXPECT_EQ(PixelAt(37, 186), Face());
  EXPECT_NE(PixelAt(26, 178), Face());
}

TEST_F(Form1Paint, LabelsShowTheWindowColourBehindTheirText) {
  // Past the end of each label's short text, inside the label.
  for (POINT p : {POINT{400, 100}, POINT{400, 150}, POINT{400, 175}}) {
    EXPECT_EQ(PixelAt(p.x, p.y), Face()) << "at " << p.x << "," << p.y;
  }
}

}  // namespace
}  // namespace quillmere::testing
