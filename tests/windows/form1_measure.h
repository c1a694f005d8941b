#pragma once
// Form1 at its scale as it stands on screen: each control's rectangle and
// font height, and how big the two pictures came out, read from the window
// and its pixels. Written as text, so that a program started at another
// system scale can hand its findings to the test that started it.
#include <windows.h>

#include <map>
#include <string>

namespace quillmere::driver {

struct LayoutSeen {
  int dpi = 0;  // the window's own, as the system reports it
  SIZE client{};
  std::map<int, RECT> controls;     // by id, in the container's client area
  std::map<int, LONG> fontHeights;  // by id: lfHeight of the control's font
  int bannerHeight = 0;             // rows of banner at the top
  RECT smallPicture{};              // where Image1 drew anything
};

// Repaints the window and reads it; the small picture is looked for where
// it stands at `layoutDpi`.
LayoutSeen MeasureForm1(HWND window, int layoutDpi);

std::string ToText(const LayoutSeen& seen);
LayoutSeen FromText(const std::string& text);

}  // namespace quillmere::driver
