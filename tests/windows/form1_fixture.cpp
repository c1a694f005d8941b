#include "form1_fixture.h"

#include <objbase.h>

#include <atomic>

namespace quillmere::testing {

void Form1Test::SetUp() {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  // The folder browser is a shell dialog: it needs a single-threaded
  // apartment, as the program sets up.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  scratch_ = folder_.emplace(L"form1").Path();
  form_ = std::make_unique<ui::Form1>();
  ASSERT_TRUE(form_->Show(SW_SHOWNORMAL));
  SetForegroundWindow(Window());
  Pump(50ms);
}

void Form1Test::TearDown() {
  form_.reset();
  // The window's end posts WM_QUIT; it must not reach the next test's
  // dialogs, which would close at once.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

HWND Form1Test::Control(ui::ControlId id) const {
  if (id == ui::IDC_cmdEnd) return GetDlgItem(GetDlgItem(Window(), ui::IDC_Picture3), id);
  return GetDlgItem(Window(), id);
}

bool Form1Test::PressAndAnswer(ui::ControlId id, const std::function<bool(HWND)>& answer) {
  bool answered = false;
  PressWith(id, [&] {
    const HWND dialog = id == ui::IDC_CmdBrowse ? WaitForOpenDialog() : WaitForFolderBrowser();
    answered = dialog && answer(dialog);
  });
  return answered;
}

RunSeen Form1Test::SplitInto(const std::wstring& folder, milliseconds limit) {
  RunSeen seen;
  std::atomic<bool> done{false};
  const HWND label = Control(ui::IDC_LblProgessCurrent);
  std::jthread script([&] {
    const HWND browser = WaitForFolderBrowser();
    seen.folderSelected = browser && ChooseFolder(browser, folder);
    if (const HWND box = seen.folderSelected ? WaitForMessageBox(limit) : nullptr) {
      seen.labelWhileBoxShown = TextOf(label).value_or(L"");
      seen.box = ReadMessageBox(box);
      PressAndWaitClosed(box, IDOK);
    }
    done = true;
  });
  Press(ui::IDC_CmdSplit);
  PumpUntil([&] { return done.load(); }, limit + kDialogLimit * 2);
  script.join();
  Pump(50ms);  // let the window finish the handler the box was shown from
  return seen;
}

fs::path Form1Test::WriteSource(const std::string& name, const std::string& bytes) const {
  WriteWholeFile(scratch_ / name, bytes);
  return scratch_ / name;
}

fs::path Form1Test::MakeFolder(const std::string& name) const {
  fs::create_directories(scratch_ / name);
  return scratch_ / name;
}

void ExpectLayoutAt(const LayoutSeen& seen, int dpi) {
  const auto scaled = [dpi](LONG pixels) { return MulDiv(pixels, dpi, 96); };
  SCOPED_TRACE(::testing::Message() << "at " << dpi << " dpi");
  EXPECT_EQ(seen.client.cx, scaled(517));
  EXPECT_EQ(seen.client.cy, scaled(297));
  for (const Expected& design : kDesign) {
    const RECT& at = design.pixels;
    const LONG left = scaled(at.left), top = scaled(at.top);
    const RECT expected{left, top, left + scaled(at.right - at.left), top + scaled(at.bottom - at.top)};
    const auto found = seen.controls.find(design.id);
    ASSERT_NE(found, seen.controls.end()) << "control id " << design.id;
    EXPECT_TRUE(EqualRect(&found->second, &expected))
        << "control id " << design.id << " at (" << found->second.left << "," << found->second.top << ")-("
        << found->second.right << "," << found->second.bottom << "), designed (" << expected.left << ","
        << expected.top << ")-(" << expected.right << "," << expected.bottom << ")";
    if (design.weight != 0) {
      EXPECT_EQ(seen.fontHeights.count(design.id) ? seen.fontHeights.at(design.id) : 0,
                -MulDiv(825, dpi, 7200))
          << "control id " << design.id << ": Tahoma 8.25 pt";
    }
  }
  EXPECT_EQ(seen.bannerHeight, scaled(85)) << "the banner";
  // The small picture draws all but a see-through edge of its square.
  const RECT square{scaled(16), scaled(165), scaled(16) + scaled(22), scaled(165) + scaled(22)};
  const RECT& drawn = seen.smallPicture;
  RECT inside{};
  EXPECT_TRUE(IntersectRect(&inside, &drawn, &square) && EqualRect(&inside, &drawn))
      << "the small picture drew outside its square";
  EXPECT_GE(drawn.right - drawn.left, scaled(22) * 3 / 4) << "the small picture is too narrow";
  EXPECT_GE(drawn.bottom - drawn.top, scaled(22) * 3 / 4) << "the small picture is too low";
}

bool Form1Test::QuitWasPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

}  // namespace quillmere::testing
