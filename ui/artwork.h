#pragma once
// The two pictures of Form1, drawn by the program at start-up instead of
// being stored as bitmaps: Image2, the banner with the program's name, and
// Image1, a small pictogram of contact cards.
#include <windows.h>

#include "win32_handle.h"

namespace quillmere::ui {

// A picture at its natural size. Pixels of the transparent colour, if there
// is one, let the background show through.
struct Picture {
  win32::UniqueBitmap bitmap;
  SIZE size{};
  COLORREF transparent = CLR_INVALID;
};

// Drawn for a screen of `dpi` dots per inch: the sizes given are those at 96,
// and scale with it as the window's layout does.
Picture DrawBanner(int dpi = USER_DEFAULT_SCREEN_DPI);          // 600 x 85
Picture DrawCardsPictogram(int dpi = USER_DEFAULT_SCREEN_DPI);  // 22 x 22, with a transparent colour

// Draws the picture at its own size with its top-left corner at `at`.
void ShowPicture(HDC target, const Picture& picture, POINT at);

}  // namespace quillmere::ui
