#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quillmere::ui {

namespace {

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

win32::UniqueBitmap NewSurface(int width, int height, std::uint32_t** pixels) {
  const BITMAPINFO info = TopDown32(width, height);
  void* bits = nullptr;
  win32::UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  *pixels = static_cast<std::uint32_t*>(bits);
  return bitmap;
}

std::uint32_t Pack(Rgb c) {
  return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | std::uint32_t{c.b};
}

Rgb Unpack(std::uint32_t p) {
  return Rgb{static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
             static_cast<std::uint8_t>(p)};
}

std::uint8_t Mix(std::uint8_t under, std::uint8_t over, double opacity) {
  return static_cast<std::uint8_t>(std::lround(under + (over - under) * opacity));
}

bool InsideCard(const RoundedCard& card, double x, double y) {
  const double turn = card.degrees * std::numbers::pi / 180.0;
  const double dx = x - card.centreX;
  const double dy = y - card.centreY;
  const double lx = std::abs(dx * std::cos(turn) + dy * std::sin(turn));
  const double ly = std::abs(-dx * std::sin(turn) + dy * std::cos(turn));
  const double halfW = card.width / 2;
  const double halfH = card.height / 2;
  if (lx > halfW || ly > halfH) return false;
  const double qx = std::max(0.0, lx - (halfW - card.radius));
  const double qy = std::max(0.0, ly - (halfH - card.radius));
  return qx * qx + qy * qy <= card.radius * card.radius;
}

}  // namespace

Canvas::Canvas(int width, int height, int scale, double zoom)
    : width_(static_cast<int>(std::lround(width * zoom))),
      height_(static_cast<int>(std::lround(height * zoom))),
      scale_(scale),
      unit_(scale * zoom),
      dc_(CreateCompatibleDC(nullptr)),
      bitmap_(NewSurface(width_ * scale, height_ * scale, &pixels_)),
      selected_(dc_.get(), bitmap_.get()) {}

void Canvas::Put(int x, int y, Rgb colour) {
  pixels_[y * width_ * scale_ + x] = Pack(colour);
}

Rgb Canvas::Get(int x, int y) const {
  return Unpack(pixels_[y * width_ * scale_ + x]);
}

template <typename Inside>
void Canvas::Fill(double left, double top, double right, double bottom, Inside inside, Rgb colour,
                  double opacity) {
  GdiFlush();
  const int x0 = std::max(0, static_cast<int>(std::floor(left * unit_)));
  const int y0 = std::max(0, static_cast<int>(std::floor(top * unit_)));
  const int x1 = std::min(width_ * scale_, static_cast<int>(std::ceil(right * unit_)));
  const int y1 = std::min(height_ * scale_, static_cast<int>(std::ceil(bottom * unit_)));
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (!inside(Unit(x), Unit(y))) continue;
      if (clip_ && !InsideCard(*clip_, Unit(x), Unit(y))) continue;
      const Rgb under = Get(x, y);
      Put(x, y,
          Rgb{Mix(under.r, colour.r, opacity), Mix(under.g, colour.g, opacity),
              Mix(under.b, colour.b, opacity)});
    }
  }
}

void Canvas::FillEllipse(double centreX, double centreY, double radiusX, double radiusY, Rgb colour,
                         double opacity) {
  auto inside = [=](double x, double y) {
    const double nx = (x - centreX) / radiusX;
    const double ny = (y - centreY) / radiusY;
    return nx * nx + ny * ny <= 1.0;
  };
  Fill(centreX - radiusX, centreY - radiusY, centreX + radiusX, centreY + radiusY, inside, colour, opacity);
}

void Canvas::FillCard(const RoundedCard& card, Rgb colour, double opacity) {
  // Half the diagonal bounds the card at any angle.
  const double reach = std::hypot(card.width, card.height) / 2;
  Fill(
      card.centreX - reach, card.centreY - reach, card.centreX + reach, card.centreY + reach,
      [&](double x, double y) { return InsideCard(card, x, y); }, colour, opacity);
}

namespace {
RoundedCard Inset(const RoundedCard& card, double by) {
  RoundedCard inner = card;
  inner.width -= 2 * by;
  inner.height -= 2 * by;
  inner.radius = std::max(0.0, card.radius - by);
  return inner;
}
}  // namespace

void Canvas::FillBorderedCard(const RoundedCard& card, double border, Rgb edge, Rgb fill) {
  FillCard(card, edge);
  FillCard(Inset(card, border), fill);
}

void Canvas::DrawCardEdge(const RoundedCard& card, double border, Rgb edge) {
  const RoundedCard inner = Inset(card, border);
  const double reach = std::hypot(card.width, card.height) / 2;
  Fill(
      card.centreX - reach, card.centreY - reach, card.centreX + reach, card.centreY + reach,
      [&](double x, double y) { return InsideCard(card, x, y) && !InsideCard(inner, x, y); }, edge, 1.0);
}

void Canvas::Text(const wchar_t* text, double x, double y, double height, int weight, Rgb colour,
                  double thicken) {
  const win32::UniqueFont font(CreateFontW(
      -static_cast<int>(std::lround(height * unit_)), 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
      OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
  const win32::ScopedSelect selected(dc_.get(), font.get());
  SetBkMode(dc_.get(), TRANSPARENT);
  SetTextColor(dc_.get(), RGB(colour.r, colour.g, colour.b));
  const int left = static_cast<int>(std::lround(x * unit_));
  const int top = static_cast<int>(std::lround(y * unit_));
  const int passes = static_cast<int>(std::lround(thicken * unit_));
  for (int dx = 0; dx <= passes; ++dx) {
    TextOutW(dc_.get(), left + dx, top, text, static_cast<int>(wcslen(text)));
  }
}

Picture Canvas::Finish(COLORREF transparent) {
  GdiFlush();
  Picture picture;
  picture.size = SIZE{width_, height_};
  picture.transparent = transparent;
  std::uint32_t* out = nullptr;
  picture.bitmap = NewSurface(width_, height_, &out);
  if (!picture.bitmap) return picture;

  const bool keyed = transparent != CLR_INVALID;
  const std::uint32_t key = Pack(Rgb{GetRValue(transparent), GetGValue(transparent), GetBValue(transparent)});
  const int samples = scale_ * scale_;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      int r = 0, g = 0, b = 0, drawn = 0;
      for (int sy = 0; sy < scale_; ++sy) {
        for (int sx = 0; sx < scale_; ++sx) {
          const std::uint32_t p = pixels_[(y * scale_ + sy) * width_ * scale_ + x * scale_ + sx] & 0xFFFFFF;
          if (keyed && p == key) continue;
          const Rgb c = Unpack(p);
          r += c.r, g += c.g, b += c.b, ++drawn;
        }
      }
      // A keyed pixel less than half covered stays see-through.
      if (keyed && drawn * 2 < samples) {
        out[y * width_ + x] = key;
      } else {
        const int n = std::max(drawn, 1);
        out[y * width_ + x] = Pack(Rgb{static_cast<std::uint8_t>(r / n), static_cast<std::uint8_t>(g / n),
                                       static_cast<std::uint8_t>(b / n)});
      }
    }
  }
  return picture;
}

}  // namespace quillmere::ui
