#pragma once
// Where everything in Form1 sits, written in twips (1/1440 inch) as the
// window was designed, and the one conversion to pixels.
#include <windows.h>

#include "control_ids.h"

namespace quillmere::ui {

struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

// Twips to pixels at the screen's dots per inch (15 twips a pixel at 96).
int TwipsToPixels(int twips, int dpi);
RECT ToPixels(const TwipsRect& at, int dpi);

// The vertical dots per inch of the screen.
int ScreenDpi();

// Whether the user has turned high contrast on.
bool HighContrastIsOn();

// The footer's fill (Shape1, Picture3 and around cmdEnd): white, or the
// system's window colour in high contrast, where a fixed white would glare
// in a dark theme.
HBRUSH FooterBrush(bool highContrast);

// Tahoma 8.25 points, as every control of the window uses it.
inline constexpr int kFontHundredthsOfPoint = 825;
inline constexpr wchar_t kFontFace[] = L"Tahoma";

namespace twips {
inline constexpr TwipsRect Form1Client{0, 0, 7755, 4455};
inline constexpr TwipsRect Image2{0, 0, 9000, 1275};
inline constexpr TwipsRect Image1{240, 2475, 330, 330};
inline constexpr TwipsRect Shape1{-120, 3840, 9015, 855};
}  // namespace twips

enum class FontWeight { Normal, Bold };

// One child window of Form1. The container is the window itself (0) or
// Picture3.
struct ControlRow {
  ControlId id;
  int container;
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  TwipsRect at;
  FontWeight weight;
};

inline constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
inline constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

// In creation order, which is the z-order. Screen readers name a text box
// after the label just before it, so Label4 comes first; the Tab key visits
// only the tab stops (the text box and the buttons) in this order.
inline constexpr ControlRow kControls[] = {
    {IDC_Label4,
     0,
     L"STATIC",
     L"Select vCard (.vcf) File",
     kLabelStyle,
     0,
     {240, 1440, 8535, 255},
     FontWeight::Normal},
    {IDC_txtvCFPath,
     0,
     L"EDIT",
     L"",
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY,
     WS_EX_CLIENTEDGE,
     {240, 1680, 5655, 375},
     FontWeight::Normal},
    {IDC_CmdBrowse, 0, L"BUTTON", L"Browse...", kButtonStyle, 0, {6000, 1680, 1455, 375}, FontWeight::Normal},
    {IDC_CmdSplit,
     0,
     L"BUTTON",
     L"Split vCards",
     kButtonStyle | WS_DISABLED,
     0,
     {2640, 3120, 2535, 495},
     FontWeight::Bold},
    {IDC_LblProgessCurrent,
     0,
     L"STATIC",
     L"(0) vCard Saved",
     kLabelStyle,
     0,
     {720, 2520, 8055, 255},
     FontWeight::Normal},
    {IDC_Label1,
     0,
     L"STATIC",
     L"Splitting vCards...",
     kLabelStyle,
     0,
     {240, 2160, 8535, 255},
     FontWeight::Normal},
    // The footer panel: its own children take part in Tab and access keys.
    {IDC_Picture3,
     0,
     kPicture3Class,
     L"",
     WS_CHILD | WS_VISIBLE,
     WS_EX_CONTROLPARENT,
     {120, 3960, 8655, 495},
     FontWeight::Normal},
    {IDC_cmdEnd,
     IDC_Picture3,
     L"BUTTON",
     L"E&xit",
     kButtonStyle,
     0,
     {5880, 0, 1455, 375},
     FontWeight::Normal},
};

}  // namespace quillmere::ui
