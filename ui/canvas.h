#pragma once
// A drawing surface for the program's own pictures. It is drawn at several
// times the final size and averaged down, which gives smooth edges to shapes
// and text that plain GDI would draw with jagged ones. Coordinates are in
// pixels of the picture as designed at 96 dots per inch; `zoom` scales the
// whole drawing (1.5 at 144), so it is drawn afresh at the final size
// rather than stretched.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "artwork.h"
#include "win32_handle.h"

namespace quillmere::ui {

struct Rgb {
  std::uint8_t r, g, b;
};

// A rectangle with rounded corners, turned by `degrees` about its centre.
struct RoundedCard {
  double centreX, centreY;
  double width, height;
  double radius;
  double degrees = 0;
};

class Canvas {
 public:
  Canvas(int width, int height, int scale, double zoom = 1.0);
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // Every pixel from a colour function of the final picture's coordinates.
  template <typename ColourAt>
  void Paint(ColourAt colourAt) {
    GdiFlush();
    for (int y = 0; y < height_ * scale_; ++y) {
      for (int x = 0; x < width_ * scale_; ++x) {
        Put(x, y, colourAt(Unit(x), Unit(y)));
      }
    }
  }

  void FillEllipse(double centreX, double centreY, double radiusX, double radiusY, Rgb colour,
                   double opacity = 1.0);
  void FillCard(const RoundedCard& card, Rgb colour, double opacity = 1.0);
  // A card with a border of `border` pixels drawn inside its edge.
  void FillBorderedCard(const RoundedCard& card, double border, Rgb edge, Rgb fill);
  // Only the border, drawn over whatever lies on the card.
  void DrawCardEdge(const RoundedCard& card, double border, Rgb edge);

  // Later shapes are drawn only inside the card, until NoClip.
  void ClipTo(const RoundedCard& card) { clip_ = card; }
  void NoClip() { clip_.reset(); }

  // Text with its top-left corner at (x, y); `height` is the em height.
  // `thicken` widens the strokes by that many pixels, for faces that have
  // no bold of their own on the system.
  void Text(const wchar_t* text, double x, double y, double height, int weight, Rgb colour,
            double thicken = 0);

  // The averaged picture. With a transparent colour, a final pixel is either
  // fully that colour or fully drawn, never a mixture.
  Picture Finish(COLORREF transparent = CLR_INVALID);

 private:
  template <typename Inside>
  void Fill(double left, double top, double right, double bottom, Inside inside, Rgb colour, double opacity);
  double Unit(int sub) const { return (sub + 0.5) / unit_; }
  void Put(int x, int y, Rgb colour);
  Rgb Get(int x, int y) const;

  int width_, height_, scale_;       // the final picture's size, and samples a side per pixel
  double unit_;                      // samples per designed pixel
  std::uint32_t* pixels_ = nullptr;  // before bitmap_, which sets it
  win32::UniqueDc dc_;
  win32::UniqueBitmap bitmap_;
  win32::ScopedSelect selected_;  // after dc_ and bitmap_: goes before them
  std::optional<RoundedCard> clip_;
};

}  // namespace quillmere::ui
