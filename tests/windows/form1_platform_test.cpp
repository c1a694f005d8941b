// Form1 where the system around it acts: the session ending during a run,
// the open dialog up when a run ends, the process's current folder, high
// contrast, a maximised start, the screen's scale, and a handler that fails.
#include <stdexcept>

#include "artwork.h"
#include "form1_fixture.h"
#include "form1_layout.h"

namespace quillmere::testing {

namespace {

class Form1Platform : public Form1Test {
 protected:
  // Browse to a source of `cards` cards, then Split into `out`: returns
  // when the run has started.
  bool StartRun(int cards, const fs::path& out) {
    return BrowseAndChoose(WriteSource("contacts.vcf", Cards(cards)).wstring()) &&
           Form1Test::StartRun(out.wstring());
  }
  // While the open dialog is up, waits for a run of `cards` into `out` to
  // end behind it; true when it did.
  static bool RunEndsUnder(const fs::path& out, std::size_t cards) {
    const bool ended = WaitFor([&] { return FileNames(out).size() == cards; }, 120s, 100ms);
    Sleep(500);  // give its end time to arrive
    return ended;
  }
};

TEST_F(Form1Platform, SessionEndingDuringARunStopsIt) {
  constexpr int kCards = 20000;
  const fs::path out = MakeFolder("out");
  ASSERT_TRUE(StartRun(kCards, out));
  ASSERT_TRUE(PumpUntil([&] { return FileNames(out).size() >= 20; }, 60s));

  const HWND window = Window();
  EXPECT_NE(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0)
      << "the run must not hold up a logoff: it stops with whole cards";
  SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  // The process may be ended as soon as WM_ENDSESSION returns.
  const std::vector<std::wstring> names = FileNames(out);
  ASSERT_LT(names.size(), static_cast<std::size_t>(kCards)) << "the run ended before the session did";
  Pump(300ms);
  EXPECT_EQ(FileNames(out), names) << "the run went on after the session ended";
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(QuitWasPosted());
}

// Counts the ticks of a thread timer and whether the window was on screen
// at the first one.
struct Ticks {
  HWND window = nullptr;
  int count = 0;
  bool visibleAtFirst = true;
};
Ticks* g_ticks = nullptr;

void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_ticks == nullptr) return;
  if (g_ticks->count++ == 0) g_ticks->visibleAtFirst = IsWindowVisible(g_ticks->window) != FALSE;
}

TEST_F(Form1Platform, ExitWhileAWriteIsHeldUpHidesAtOnceAndKeepsAnswering) {
  const fs::path out = MakeFolder("out");
  // The run's worker waits on vCard5.vcf, held by another program, for
  // about a second before it can see the request to stop.
  const HeldFile held(out / L"vCard5.vcf", 3s);
  ASSERT_TRUE(held.Held());
  ASSERT_TRUE(StartRun(20, out));
  ASSERT_TRUE(PumpUntil([&] { return fs::exists(out / L"vCard4.vcf"); }, 10s));

  const HWND window = Window();
  Ticks ticks{window};
  g_ticks = &ticks;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
  Press(ui::IDC_cmdEnd);
  KillTimer(nullptr, timer);
  g_ticks = nullptr;

  EXPECT_GE(ticks.count, 5) << "the window's thread stopped answering while the run stopped";
  EXPECT_FALSE(ticks.visibleAtFirst) << "the window stayed on screen while the run stopped";
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(QuitWasPosted());
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(ReadWholeFile(out / (L"vCard" + std::to_wstring(n) + L".vcf")), CardFile(n)) << n;
  }
  EXPECT_FALSE(fs::exists(out / L"vCard6.vcf"));
}

TEST_F(Form1Platform, EndOfARunWhileTheOpenDialogIsUpIsToldAfterItCloses) {
  constexpr int kCards = 3000;
  const fs::path out = MakeFolder("out");
  ASSERT_TRUE(StartRun(kCards, out));

  std::size_t filesWhenDialogOpened = 0;
  bool runEndedUnderDialog = false;
  HWND boxOverDialog = nullptr;
  std::optional<MessageBoxSeen> box;
  PressWith(ui::IDC_CmdBrowse, [&] {
    const HWND dialog = WaitForOpenDialog();
    if (dialog == nullptr) return;
    filesWhenDialogOpened = FileNames(out).size();
    runEndedUnderDialog = RunEndsUnder(out, kCards);
    boxOverDialog = WaitForMessageBox(500ms);
    if (boxOverDialog != nullptr) PressAndWaitClosed(boxOverDialog, IDOK);
    PressAndWaitClosed(dialog, IDCANCEL);
    if (const HWND end = WaitForMessageBox()) {
      box = ReadMessageBox(end);
      PressAndWaitClosed(end, IDOK);
    }
  });
  ASSERT_LT(filesWhenDialogOpened, static_cast<std::size_t>(kCards)) << "the run ended before Browse";
  ASSERT_TRUE(runEndedUnderDialog);
  EXPECT_EQ(boxOverDialog, nullptr) << "the closing message opened over the open dialog";
  ASSERT_TRUE(box.has_value()) << "the closing message never came";
  EXPECT_EQ(box->text, std::to_wstring(kCards) + L" vCards Saved in \r\n" + out.wstring() + L"\\");
  EXPECT_EQ(box->owner, Window());
  EXPECT_TRUE(Enabled(ui::IDC_CmdSplit));
}

TEST_F(Form1Platform, SessionEndingWhileAnEndWaitsForTheOpenDialogEndsCleanly) {
  constexpr int kCards = 3000;
  const fs::path out = MakeFolder("out");
  ASSERT_TRUE(StartRun(kCards, out));
  const HWND window = Window();
  bool runEndedUnderDialog = false, answered = false, gone = false, boxShown = false;
  PressWith(ui::IDC_CmdBrowse, [&] {
    const HWND dialog = WaitForOpenDialog();
    if (dialog == nullptr) return;
    runEndedUnderDialog = RunEndsUnder(out, kCards);
    answered = Send(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, 10s).has_value();
    gone = !IsWindow(window);
    if (const HWND box = WaitForMessageBox(300ms)) {
      boxShown = true;
      PressAndWaitClosed(box, IDOK);
    }
    if (IsWindow(dialog)) PressAndWaitClosed(dialog, IDCANCEL);
  });
  ASSERT_TRUE(runEndedUnderDialog);
  EXPECT_TRUE(answered) << "the window stopped answering when the session ended";
  EXPECT_TRUE(gone) << "the window outlived the session";
  EXPECT_FALSE(boxShown) << "a message was shown as the session ended";
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Platform, BrowseLeavesTheCurrentFolderWhereItWas) {
  const fs::path start = MakeFolder("start");
  const fs::path elsewhere = MakeFolder("elsewhere");
  const fs::path source = elsewhere / "contacts.vcf";
  WriteWholeFile(source, Cards(1));
  const fs::path before = fs::current_path();
  SetCurrentDirectoryW(start.c_str());
  bool chosen = false;
  PressWith(ui::IDC_CmdBrowse, [&] {
    const HWND dialog = WaitForOpenDialog();
    if (dialog == nullptr) return;
    // As a user goes: into the folder first, then the file.
    TypeFileName(dialog, elsewhere.wstring());
    Click(GetDlgItem(dialog, IDOK));
    Sleep(500);
    chosen = ChooseFile(dialog, L"contacts.vcf");
  });
  const fs::path after = fs::current_path();
  SetCurrentDirectoryW(before.c_str());
  ASSERT_TRUE(chosen);
  EXPECT_EQ(Text(ui::IDC_txtvCFPath), source.wstring());
  EXPECT_EQ(after, start) << "the program now holds the dialog's last folder open";
}

// The text colour Form1 gives a label or the path box, as the control
// itself asks for it.
COLORREF TextColourOf(HWND window, HWND control) {
  const HDC dc = CreateCompatibleDC(nullptr);
  SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  const COLORREF colour = GetTextColor(dc);
  DeleteDC(dc);
  return colour;
}

// The colour a panel paints its background with.
COLORREF PanelColour(HWND panel) {
  const win32::WindowDc screen(nullptr);
  const win32::UniqueDc dc(CreateCompatibleDC(screen.get()));
  const win32::UniqueBitmap pixel(CreateCompatibleBitmap(screen.get(), 1, 1));
  const win32::ScopedSelect selected(dc.get(), pixel.get());
  SendMessageW(panel, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
  return GetPixel(dc.get(), 0, 0);
}

bool SetHighContrast(bool on) {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  contrast.dwFlags = on ? HCF_HIGHCONTRASTON : 0;
  return SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof contrast, &contrast, SPIF_SENDCHANGE) != FALSE;
}

TEST_F(Form1Platform, HighContrastGivesTheTextTheSystemsColours) {
  const HWND path = Control(ui::IDC_txtvCFPath);
  const HWND count = Control(ui::IDC_LblProgessCurrent);
  // System colours that neither fixed colour matches.
  const int elements[] = {COLOR_WINDOWTEXT, COLOR_BTNTEXT};
  const COLORREF saved[] = {GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_BTNTEXT)};
  const COLORREF contrast[] = {RGB(255, 255, 0), RGB(0, 255, 0)};
  ASSERT_TRUE(SetSysColors(2, elements, contrast));
  Pump(100ms);
  const COLORREF pathNormal = TextColourOf(Window(), path);
  const COLORREF countNormal = TextColourOf(Window(), count);
  const COLORREF panelNormal = PanelColour(GetParent(Control(ui::IDC_cmdEnd)));

  const bool turnedOn = SetHighContrast(true) && ui::HighContrastIsOn();
  Pump(100ms);
  const COLORREF pathContrast = TextColourOf(Window(), path);
  const COLORREF countContrast = TextColourOf(Window(), count);
  // The footer: around Exit, and the panel Exit lies on.
  const HWND exit = Control(ui::IDC_cmdEnd);
  const auto exitBackground = SendMessageW(Window(), WM_CTLCOLORBTN, 0, reinterpret_cast<LPARAM>(exit));
  const COLORREF panelContrast = PanelColour(GetParent(exit));
  SetHighContrast(false);
  SetSysColors(2, elements, saved);
  Pump(100ms);

  EXPECT_EQ(pathNormal, RGB(0, 0, 192));
  EXPECT_EQ(countNormal, RGB(0, 0, 0));
  EXPECT_EQ(panelNormal, RGB(255, 255, 255)) << "the footer is white";
  if (!turnedOn) GTEST_SKIP() << "this system does not take high contrast from SPI_SETHIGHCONTRAST";
  EXPECT_EQ(pathContrast, contrast[0]) << "the path stays dark blue in high contrast";
  EXPECT_EQ(countContrast, contrast[1]) << "the count stays black in high contrast";
  EXPECT_EQ(TextColourOf(Window(), path), RGB(0, 0, 192))
      << "high contrast off did not bring the colour back";
  EXPECT_EQ(exitBackground, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)))
      << "Exit stays on white in high contrast";
  EXPECT_EQ(panelContrast, GetSysColor(COLOR_WINDOW)) << "the footer stays white in high contrast";
}

// The window's client area has its designed size in pixels.
void ExpectFixedSize(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  const RECT expected = ui::ToPixels(ui::twips::Form1Client, ui::ScreenDpi());
  EXPECT_EQ(client.right, expected.right);
  EXPECT_EQ(client.bottom, expected.bottom);
}

struct ShowCase {
  const char* name;
  int command;
  bool minimised;
};

class Form1ShowCommand : public ::testing::TestWithParam<ShowCase> {};

TEST_P(Form1ShowCommand, KeepsTheFixedSize) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  ui::Form1 form;
  ASSERT_TRUE(form.Show(GetParam().command));
  Pump(100ms);
  EXPECT_FALSE(IsZoomed(form.Window())) << "the window is maximised";
  EXPECT_EQ(IsIconic(form.Window()) != FALSE, GetParam().minimised);
  ShowWindow(form.Window(), SW_RESTORE);
  ExpectFixedSize(form.Window());
}

INSTANTIATE_TEST_SUITE_P(Commands, Form1ShowCommand,
                         ::testing::Values(ShowCase{"Maximized", SW_SHOWMAXIMIZED, false},
                                           ShowCase{"Normal", SW_SHOWNORMAL, false},
                                           ShowCase{"Minimized", SW_SHOWMINNOACTIVE, true}),
                         [](const auto& param) { return std::string(param.param.name); });

// As a shortcut set to "Run: Maximized" or `start /max` starts it: the show
// command comes in the starter's STARTUPINFO.
TEST(ProgramStart, MaximisedStartKeepsTheFixedSize) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  RemoteProgram program(WindowsPath(QUILLMERE_PROGRAM), L"", SW_SHOWMAXIMIZED);
  const HWND window = program.WaitForWindow(ui::kForm1Caption, nullptr, 10s);
  ASSERT_NE(window, nullptr) << "the window never came";
  Sleep(300);
  EXPECT_FALSE(IsZoomed(window)) << "the window is maximised";
  ExpectFixedSize(window);
  program.Close(window);
}

// Pixels of a picture that are drawn (not its see-through colour).
int DrawnPixels(const ui::Picture& picture) {
  const auto pixels = BitmapPixels(picture.bitmap.get(), picture.size.cx, picture.size.cy);
  const std::uint32_t key = (std::uint32_t{GetRValue(picture.transparent)} << 16) |
                            (std::uint32_t{GetGValue(picture.transparent)} << 8) |
                            GetBValue(picture.transparent);
  int drawn = 0;
  for (const std::uint32_t pixel : pixels) drawn += (pixel & 0xFFFFFF) != key;
  return drawn;
}

class PicturesAtScale : public ::testing::TestWithParam<int> {};

TEST_P(PicturesAtScale, AreDrawnAtTheLayoutsScale) {
  const int dpi = GetParam();
  const ui::Picture banner = ui::DrawBanner(dpi);
  EXPECT_EQ(banner.size.cx, MulDiv(600, dpi, 96));
  EXPECT_EQ(banner.size.cy, MulDiv(85, dpi, 96));
  const ui::Picture small = ui::DrawCardsPictogram(dpi);
  EXPECT_EQ(small.size.cx, MulDiv(22, dpi, 96));
  EXPECT_EQ(small.size.cy, MulDiv(22, dpi, 96));
  // The drawing itself grows with the area, not only the bitmap around it.
  const double area = static_cast<double>(dpi) * dpi / (96.0 * 96.0);
  const double drawn = DrawnPixels(small) / static_cast<double>(DrawnPixels(ui::DrawCardsPictogram(96)));
  EXPECT_NEAR(drawn, area, area * 0.12);
}

INSTANTIATE_TEST_SUITE_P(Dpi, PicturesAtScale, ::testing::Values(96, 120, 144, 192));

// Wine's scale for the programs started after it is set, as Windows's is
// by the display settings; the old setting comes back when the owner goes.
class SystemScale {
 public:
  explicit SystemScale(DWORD dpi) {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
    DWORD size = sizeof old_;
    hadOld_ = RegQueryValueExW(key_, kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) ==
              ERROR_SUCCESS;
    set_ = RegSetValueExW(key_, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
           ERROR_SUCCESS;
  }
  SystemScale(const SystemScale&) = delete;
  SystemScale& operator=(const SystemScale&) = delete;
  ~SystemScale() {
    if (hadOld_) {
      RegSetValueExW(key_, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
    } else {
      RegDeleteValueW(key_, kValue);
    }
    RegCloseKey(key_);
  }
  bool Set() const { return set_; }

 private:
  static constexpr const wchar_t* kValue = L"LogPixels";
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool hadOld_ = false, set_ = false;
};

// Runs a program and returns what it wrote to standard output.
std::string OutputOf(const std::wstring& exe) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE reader = nullptr, writer = nullptr;
  if (!CreatePipe(&reader, &writer, &inherit, 0)) return {};
  SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer;
  std::wstring commandLine = L"\"" + exe + L"\"";
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(writer);
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (started && ReadFile(reader, buffer, sizeof buffer, &got, nullptr) && got > 0)
    output.append(buffer, got);
  CloseHandle(reader);
  if (started) {
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return output;
}

class Form1AtSystemScale : public ::testing::TestWithParam<int> {};

TEST_P(Form1AtSystemScale, LaysOutFontsAndPicturesAtTheWindowsScale) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  if (!UnderWine()) GTEST_SKIP() << "the scale is set through Wine's LogPixels";
  const SystemScale scale(static_cast<DWORD>(GetParam()));
  ASSERT_TRUE(scale.Set());
  const std::string printed = OutputOf(WindowsPath(QUILLMERE_DPI_PROBE));
  const LayoutSeen seen = FromText(printed);
  ASSERT_EQ(seen.dpi, GetParam()) << "the window was not given the system's scale:\n" << printed;
  ExpectLayoutAt(seen, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Dpi, Form1AtSystemScale, ::testing::Values(96, 120, 144, 192));

// A window whose handler throws, for the window procedure's boundary.
class FailingWindow : public ui::BaseWindow<FailingWindow> {
 public:
  static constexpr UINT kFail = WM_APP + 7;
  bool Open() {
    return Register(L"QuillmereFailingWindow", nullptr) &&
           Create(L"QuillmereFailingWindow", L"failing", WS_OVERLAPPEDWINDOW, 0, RECT{0, 0, 200, 100},
                  nullptr) != nullptr;
  }
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kFail) throw std::runtime_error("the disk caught fire");
    return Default(message, wParam, lParam);
  }
};

TEST(WindowProcedure, HandlerFailureIsReportedAndTheWindowLivesOn) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  FailingWindow window;
  ASSERT_TRUE(window.Open());
  std::optional<MessageBoxSeen> box;
  {
    std::jthread script([&] {
      const Dialogs own;
      if (const HWND shown = own.WaitForMessageBox()) {
        box = own.ReadMessageBox(shown);
        PressAndWaitClosed(shown, IDOK);
      }
    });
    EXPECT_EQ(SendMessageW(window.Window(), FailingWindow::kFail, 0, 0), 0);
  }
  ASSERT_TRUE(box.has_value()) << "the failure was not reported";
  EXPECT_EQ(box->title, L"Quillmere");
  EXPECT_NE(box->text.find(L"the disk caught fire"), std::wstring::npos);
  EXPECT_TRUE(IsWindow(window.Window())) << "the window did not survive its handler's failure";
  EXPECT_NE(SendMessageW(window.Window(), WM_NCHITTEST, 0, MAKELPARAM(10, 10)), HTERROR);
}

}  // namespace
}  // namespace quillmere::testing
