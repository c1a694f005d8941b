#include "form1_layout.h"

#include "win32_handle.h"

namespace quillmere::ui {

namespace {
constexpr int kTwipsPerInch = 1440;
}

int TwipsToPixels(int twips, int dpi) {
  return MulDiv(twips, dpi, kTwipsPerInch);
}

RECT ToPixels(const TwipsRect& at, int dpi) {
  const int left = TwipsToPixels(at.left, dpi);
  const int top = TwipsToPixels(at.top, dpi);
  return RECT{left, top, left + TwipsToPixels(at.width, dpi), top + TwipsToPixels(at.height, dpi)};
}

int ScreenDpi() {
  const win32::WindowDc screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

bool HighContrastIsOn() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

HBRUSH FooterBrush(bool highContrast) {
  return highContrast ? GetSysColorBrush(COLOR_WINDOW) : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

}  // namespace quillmere::ui
