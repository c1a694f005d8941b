#include "artwork.h"

#include <algorithm>

#include "canvas.h"
#include "quillmere_version.h"

namespace quillmere::ui {

namespace {

constexpr Rgb kNavy{14, 44, 84};
constexpr Rgb kOcean{28, 104, 164};
constexpr Rgb kInk{31, 78, 121};
constexpr Rgb kPaper{255, 255, 255};
constexpr Rgb kPaleBlue{206, 226, 245};
constexpr Rgb kMist{168, 203, 234};
constexpr Rgb kAmber{240, 150, 52};
constexpr Rgb kLine{150, 176, 204};
constexpr Rgb kSubtitle{196, 220, 242};

Rgb Lerp(Rgb a, Rgb b, double t) {
  auto mix = [t](std::uint8_t x, std::uint8_t y) {
    return static_cast<std::uint8_t>(x + (y - x) * std::clamp(t, 0.0, 1.0));
  };
  return Rgb{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

// A contact card: a person on the left and two lines of details beside it.
void ContactCard(Canvas& canvas, const RoundedCard& card, Rgb fill) {
  canvas.FillCard(
      {card.centreX + 1.5, card.centreY + 2.5, card.width, card.height, card.radius, card.degrees},
      Rgb{5, 20, 40}, 0.30);
  canvas.FillBorderedCard(card, 1.0, kInk, fill);
}

void CardFace(Canvas& canvas, double left, double top) {
  canvas.FillEllipse(left + 13, top + 15, 6, 6, kAmber);
  canvas.FillEllipse(left + 13, top + 30, 10, 7, kAmber);
  canvas.FillCard({left + 13, top + 34.5, 24, 5, 0}, kPaper);  // cuts the shoulders level
  canvas.FillCard({left + 37, top + 13, 20, 3.2, 1.6}, kInk);
  canvas.FillCard({left + 36, top + 21, 18, 2.6, 1.3}, kLine);
  canvas.FillCard({left + 34, top + 27, 14, 2.6, 1.3}, kLine);
}

double Zoom(int dpi) {
  return static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

Picture DrawBanner(int dpi) {
  constexpr int kWidth = 600, kHeight = 85;
  Canvas canvas(kWidth, kHeight, 3, Zoom(dpi));
  canvas.Paint([](double x, double y) { return Lerp(kNavy, kOcean, x / 520.0 * 0.8 + y / kHeight * 0.2); });

  // Soft light rings on the right give the band depth.
  canvas.FillEllipse(455, -25, 110, 110, kPaper, 0.06);
  canvas.FillEllipse(520, 95, 80, 80, kPaper, 0.05);
  canvas.FillEllipse(390, 110, 60, 60, kPaper, 0.04);

  // A fanned stack of contact cards.
  ContactCard(canvas, {52, 40, 60, 40, 4, -14}, kMist);
  ContactCard(canvas, {56, 42, 60, 40, 4, -6}, kPaleBlue);
  ContactCard(canvas, {61, 45, 60, 40, 4, 3}, kPaper);
  CardFace(canvas, 31, 25);

  canvas.Text(L"Quillmere", 111.5, 13, 33, FW_BOLD, Rgb{8, 28, 56}, 1.3);
  canvas.Text(L"Quillmere", 110, 11, 33, FW_BOLD, kPaper, 1.3);
  canvas.Text(L"vCard Splitter  \x2022  one contact, one file", 112, 52, 13, FW_NORMAL, kSubtitle);
  canvas.Text(L"Version " QUILLMERE_VERSION_TEXT, 436, 62, 11, FW_NORMAL, kSubtitle);

  // An amber rule along the bottom edge.
  canvas.FillCard({kWidth / 2.0, kHeight - 1.5, kWidth, 3, 0}, kAmber);
  return canvas.Finish();
}

Picture DrawCardsPictogram(int dpi) {
  constexpr COLORREF kSeeThrough = RGB(255, 0, 255);
  Canvas canvas(22, 22, 4, Zoom(dpi));
  canvas.Paint([](double, double) { return Rgb{255, 0, 255}; });
  canvas.FillBorderedCard({13.5, 8.5, 15, 12, 2}, 1.0, kInk, kMist);
  const RoundedCard front{9, 14, 16, 12, 2};
  canvas.FillCard(front, kPaper);
  canvas.ClipTo(front);
  canvas.FillEllipse(5.6, 12.4, 1.9, 1.9, kAmber);
  canvas.FillEllipse(5.6, 19.2, 3.2, 3.0, kAmber);
  canvas.NoClip();
  canvas.FillCard({12.5, 12, 6, 1.4, 0.7}, kInk);
  canvas.FillCard({12, 15, 5, 1.2, 0.6}, kLine);
  canvas.DrawCardEdge(front, 1.0, kInk);
  return canvas.Finish(kSeeThrough);
}

void ShowPicture(HDC target, const Picture& picture, POINT at) {
  const win32::UniqueDc source(CreateCompatibleDC(target));
  const win32::ScopedSelect selected(source.get(), picture.bitmap.get());
  const SIZE size = picture.size;
  if (picture.transparent == CLR_INVALID) {
    BitBlt(target, at.x, at.y, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
  } else {
    TransparentBlt(target, at.x, at.y, size.cx, size.cy, source.get(), 0, 0, size.cx, size.cy,
                   picture.transparent);
  }
}

}  // namespace quillmere::ui
