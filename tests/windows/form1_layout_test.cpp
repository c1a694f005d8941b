// Form1 as it is drawn: every control's class, place, size, font, styles and
// text, the tab order, and the window's frame, against the window's design
// (positions in client pixels at 96 dots per inch).
#include <string>

#include "form1_fixture.h"

namespace quillmere::testing {
namespace {

using ui::ControlId;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// The control's rectangle in the client area of `in` (its parent when null).
RECT RectIn(HWND control, HWND in = nullptr) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, in ? in : GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

::testing::AssertionResult SameRect(const RECT& actual, const RECT& expected) {
  if (EqualRect(&actual, &expected)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "at (" << actual.left << "," << actual.top << ") size " << actual.right - actual.left << "x"
         << actual.bottom - actual.top << ", designed (" << expected.left << "," << expected.top << ") size "
         << expected.right - expected.left << "x" << expected.bottom - expected.top;
}

// The order Tab moves the focus in, from `start` round to it again.
std::vector<HWND> TabCycle(HWND window, HWND start) {
  std::vector<HWND> cycle{start};
  for (HWND next = GetNextDlgTabItem(window, start, FALSE); next && next != start && cycle.size() <= 16;
       next = GetNextDlgTabItem(window, next, FALSE)) {
    cycle.push_back(next);
  }
  return cycle;
}

class Form1Layout : public Form1Test {
 protected:
  LONG Style(ControlId id) const { return GetWindowLongW(Control(id), GWL_STYLE); }
  void ExpectClientIs517x297() const {
    RECT client{};
    GetClientRect(Window(), &client);
    EXPECT_EQ(client.right, 517);
    EXPECT_EQ(client.bottom, 297);
  }
};

TEST_F(Form1Layout, ControlsHaveTheDesignedClassPlaceSizeAndText) {
  for (const Expected& design : kDesign) {
    SCOPED_TRACE(::testing::Message() << "control id " << design.id);
    const HWND control = Control(design.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(ClassOf(control), design.className);
    EXPECT_TRUE(SameRect(RectIn(control), design.pixels));
    EXPECT_EQ(TextOf(control), design.text);
    EXPECT_TRUE(IsWindowVisible(control));
  }
}

TEST_F(Form1Layout, ExitSitsInTheFooterPanelRightAlignedWithBrowse) {
  const HWND cmdEnd = Control(ui::IDC_cmdEnd);
  EXPECT_EQ(GetParent(cmdEnd), Control(ui::IDC_Picture3));
  const RECT inWindow = RectIn(cmdEnd, Window());
  EXPECT_TRUE(SameRect(inWindow, At(400, 264, 97, 25)));
  EXPECT_EQ(inWindow.right, RectIn(Control(ui::IDC_CmdBrowse)).right);
}

TEST_F(Form1Layout, EveryTextIsTahoma825WithOnlySplitBold) {
  for (const Expected& design : kDesign) {
    if (design.weight == 0) continue;
    SCOPED_TRACE(::testing::Message() << "control id " << design.id);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(Control(design.id), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr) << "the control uses the system font";
    LOGFONTW face{};
    ASSERT_NE(GetObjectW(font, sizeof face, &face), 0);
    EXPECT_STREQ(face.lfFaceName, L"Tahoma");
    EXPECT_EQ(face.lfHeight, -11);
    EXPECT_EQ(face.lfWeight, design.weight);
    EXPECT_EQ(face.lfCharSet, ANSI_CHARSET);
    EXPECT_FALSE(face.lfItalic || face.lfUnderline || face.lfStrikeOut);
  }
}

TEST_F(Form1Layout, PathBoxIsReadOnlyAndSplitStartsDisabled) {
  EXPECT_TRUE(Style(ui::IDC_txtvCFPath) & ES_READONLY);
  EXPECT_FALSE(Style(ui::IDC_txtvCFPath) & ES_MULTILINE);
  EXPECT_TRUE(GetWindowLongW(Control(ui::IDC_txtvCFPath), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_FALSE(Enabled(ui::IDC_CmdSplit));
  for (ControlId id : {ui::IDC_txtvCFPath, ui::IDC_CmdBrowse, ui::IDC_CmdSplit, ui::IDC_cmdEnd}) {
    EXPECT_TRUE(Style(id) & WS_TABSTOP) << "control id " << id;
    EXPECT_FALSE(id != ui::IDC_txtvCFPath && (Style(id) & BS_DEFPUSHBUTTON)) << "Enter has no meaning here";
  }
  for (ControlId id : {ui::IDC_Label4, ui::IDC_Label1, ui::IDC_LblProgessCurrent, ui::IDC_Picture3}) {
    EXPECT_FALSE(Style(id) & WS_TABSTOP) << "control id " << id;
  }
}

TEST_F(Form1Layout, TabSkipsDisabledSplitAtStart) {
  EXPECT_EQ(TabCycle(Window(), Control(ui::IDC_txtvCFPath)),
            Controls({ui::IDC_txtvCFPath, ui::IDC_CmdBrowse, ui::IDC_cmdEnd}));
}

TEST_F(Form1Layout, TabVisitsPathBrowseSplitExitOnceSplitIsEnabled) {
  ASSERT_TRUE(BrowseAndChoose((scratch_ / "contacts.vcf").wstring()));
  EXPECT_EQ(TabCycle(Window(), Control(ui::IDC_txtvCFPath)),
            Controls({ui::IDC_txtvCFPath, ui::IDC_CmdBrowse, ui::IDC_CmdSplit, ui::IDC_cmdEnd}));
}

// Narrator and NVDA name a text box after the label just before it in
// z-order: the path box must follow its caption, or it is read as "edit,
// read only". The tab stops keep their order (the tests above).
TEST_F(Form1Layout, PathBoxFollowsItsCaptionInZOrder) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(Window(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  EXPECT_EQ(children, Controls({ui::IDC_Label4, ui::IDC_txtvCFPath, ui::IDC_CmdBrowse, ui::IDC_CmdSplit,
                                ui::IDC_LblProgessCurrent, ui::IDC_Label1, ui::IDC_Picture3}));
}

TEST_F(Form1Layout, FixedDialogFrameWith517x297ClientArea) {
  ExpectClientIs517x297();
  const LONG style = GetWindowLongW(Window(), GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the user could resize the window";
  EXPECT_FALSE(style & WS_MAXIMIZEBOX) << "the user could maximise the window";
  EXPECT_TRUE(GetWindowLongW(Window(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  EXPECT_EQ(TextOf(Window()), L"Quillmere by Tarnwell");
  EXPECT_EQ(GetMenu(Window()), nullptr);
}

TEST_F(Form1Layout, MaximiseAndResizeRequestsLeaveTheSizeAlone) {
  SendMessageW(Window(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  ExpectClientIs517x297();
  EXPECT_FALSE(IsZoomed(Window()));
}

// Not on the whole primary screen: on a small one the taskbar would cover
// the footer, and with two the window would open away from the user.
TEST_F(Form1Layout, WindowIsCentredInTheWorkAreaOfTheMonitorUnderTheCursor) {
  POINT cursor{};
  GetCursorPos(&cursor);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &monitor));
  const RECT& work = monitor.rcWork;
  RECT frame{};
  GetWindowRect(Window(), &frame);
  EXPECT_LE(std::abs((frame.left - work.left) - (work.right - frame.right)), 1);
  EXPECT_LE(std::abs((frame.top - work.top) - (work.bottom - frame.bottom)), 1);
}

// The system moves the window to a monitor at 150 % and back: the layout,
// the fonts and the pictures are made again for each scale, and the window
// takes the rectangle the system suggests.
TEST_F(Form1Layout, DpiChangeLaysEverythingOutAgainAtTheNewScaleAndBack) {
  const LONG style = GetWindowLongW(Window(), GWL_STYLE), exStyle = GetWindowLongW(Window(), GWL_EXSTYLE);
  for (const int dpi : {144, 96}) {
    SCOPED_TRACE(::testing::Message() << "changed to " << dpi << " dpi");
    RECT frame{};
    GetWindowRect(Window(), &frame);
    // The frame as the system draws it for this window, around the client
    // area at the new scale, a little moved.
    RECT suggested{0, 0, MulDiv(517, dpi, 96), MulDiv(297, dpi, 96)};
    AdjustWindowRectExForDpi(&suggested, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(exStyle),
                             GetDpiForWindow(Window()));
    OffsetRect(&suggested, frame.left + 10 - suggested.left, frame.top + 10 - suggested.top);
    SendMessageW(Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    Pump(50ms);
    GetWindowRect(Window(), &frame);
    EXPECT_TRUE(EqualRect(&frame, &suggested)) << "the suggested rectangle was not taken";
    ExpectLayoutAt(MeasureForm1(Window(), dpi), dpi);
  }
}

TEST_F(Form1Layout, FocusStartsInThePathBox) {
  EXPECT_EQ(GetFocus(), Control(ui::IDC_txtvCFPath));
}

TEST_F(Form1Layout, WindowHasAnIconEvenWithoutTheProgramsOwn) {
  EXPECT_NE(SendMessageW(Window(), WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(Window(), WM_GETICON, ICON_SMALL, 0), 0);
}

}  // namespace
}  // namespace quillmere::testing
