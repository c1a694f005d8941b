#include "form1_measure.h"

#include <algorithm>
#include <sstream>

#include "control_ids.h"
#include "dpi.h"
#include "win32_handle.h"

namespace quillmere::driver {

namespace {

RECT RectInParent(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Rows from the top, in the middle of the window, until the window's own
// colour shows.
int BannerHeight(HDC dc, SIZE client) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  int rows = 0;
  while (rows < client.cy && GetPixel(dc, client.cx / 2, rows) != face) ++rows;
  return rows;
}

// The box around every pixel not of the window's colour in the area around
// Image1 (clear of the labels and buttons near it).
RECT DrawnAround(HDC dc, int dpi) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const int left = MulDiv(10, dpi, 96), right = MulDiv(45, dpi, 96);
  const int top = MulDiv(163, dpi, 96), bottom = MulDiv(190, dpi, 96);
  RECT box{right, bottom, left, top};
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (GetPixel(dc, x, y) == face) continue;
      box = RECT{std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                 std::max<LONG>(box.bottom, y + 1)};
    }
  }
  return box;
}

}  // namespace

LayoutSeen MeasureForm1(HWND window, int layoutDpi) {
  LayoutSeen seen;
  seen.dpi = ui::WindowDpi(window);
  RECT client{};
  GetClientRect(window, &client);
  seen.client = SIZE{client.right, client.bottom};
  for (int id = ui::kFirstControlId; id < ui::kFirstControlId + ui::kControlCount; ++id) {
    HWND control = GetDlgItem(window, id);
    if (control == nullptr) control = GetDlgItem(GetDlgItem(window, ui::IDC_Picture3), id);
    if (control == nullptr) continue;
    seen.controls[id] = RectInParent(control);
    LOGFONTW font{};
    if (const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0))) {
      GetObjectW(handle, sizeof font, &font);
      seen.fontHeights[id] = font.lfHeight;
    }
  }
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  const win32::WindowDc dc(window);
  seen.bannerHeight = BannerHeight(dc.get(), seen.client);
  seen.smallPicture = DrawnAround(dc.get(), layoutDpi);
  return seen;
}

std::string ToText(const LayoutSeen& seen) {
  std::ostringstream out;
  out << "dpi " << seen.dpi << "\nclient " << seen.client.cx << ' ' << seen.client.cy << "\nbanner "
      << seen.bannerHeight << "\npicture " << seen.smallPicture.left << ' ' << seen.smallPicture.top << ' '
      << seen.smallPicture.right << ' ' << seen.smallPicture.bottom << '\n';
  for (const auto& [id, at] : seen.controls) {
    const auto font = seen.fontHeights.find(id);
    out << "control " << id << ' ' << at.left << ' ' << at.top << ' ' << at.right << ' ' << at.bottom << ' '
        << (font == seen.fontHeights.end() ? 0 : font->second) << '\n';
  }
  return out.str();
}

LayoutSeen FromText(const std::string& text) {
  LayoutSeen seen;
  std::istringstream in(text);
  for (std::string what; in >> what;) {
    if (what == "dpi") in >> seen.dpi;
    if (what == "client") in >> seen.client.cx >> seen.client.cy;
    if (what == "banner") in >> seen.bannerHeight;
    if (what == "picture") {
      in >> seen.smallPicture.left >> seen.smallPicture.top >> seen.smallPicture.right >>
          seen.smallPicture.bottom;
    }
    if (what == "control") {
      int id = 0;
      RECT at{};
      LONG font = 0;
      in >> id >> at.left >> at.top >> at.right >> at.bottom >> font;
      seen.controls[id] = at;
      if (font != 0) seen.fontHeights[id] = font;
    }
  }
  return seen;
}

}  // namespace quillmere::driver
