// Ending the program: "E&xit", Alt+X, the close box and Alt+F4, with and
// without a run going on.
#include "form1_fixture.h"
#include "program_files.h"

namespace quillmere::testing {
namespace {

class Form1Exit : public Form1Test {
 protected:
  // Keys as the keyboard delivers them to the window that has the focus.
  void PressKeys(std::initializer_list<WORD> keys) {
    SetForegroundWindow(Window());
    std::vector<INPUT> inputs;
    for (WORD key : keys) inputs.push_back(Key(key, 0));
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
      inputs.push_back(Key(*key, KEYEVENTF_KEYUP));
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  }
  static INPUT Key(WORD key, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    return input;
  }
  bool WindowGone(milliseconds limit, HWND keyboard = nullptr) {
    const HWND window = Window();
    return PumpUntil([&] { return !IsWindow(window); }, limit, keyboard);
  }
};

TEST_F(Form1Exit, ExitButtonClosesTheWindowAndEndsTheProgram) {
  Click(ui::IDC_cmdEnd);
  EXPECT_FALSE(IsWindow(form_->Window()));
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Exit, AltXPressesExit) {
  const HWND window = Window();
  PressKeys({VK_MENU, 'X'});
  EXPECT_TRUE(WindowGone(milliseconds(3000), window)) << "Alt+X did not end the window";
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Exit, AltF4ClosesTheWindowAndEndsTheProgram) {
  PressKeys({VK_MENU, VK_F4});
  EXPECT_TRUE(WindowGone(milliseconds(3000)));
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Exit, CloseBoxEndsTheProgram) {
  SendMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(form_->Window()));
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Exit, EnterAndEscapeDoNothing) {
  const fs::path source = WriteSource("contacts.vcf", Cards(1));
  ASSERT_TRUE(BrowseAndChoose(source.wstring()));
  SetFocus(Control(ui::IDC_txtvCFPath));
  PressKeys({VK_RETURN});
  PressKeys({VK_ESCAPE});
  EXPECT_FALSE(WindowGone(milliseconds(500), Window()));
  EXPECT_EQ(WaitForOwnDialog(nullptr, -1, milliseconds(100)), nullptr) << "a key opened a dialog";
}

class Form1ExitDuringRun : public Form1Exit, public ::testing::WithParamInterface<const char*> {};

TEST_P(Form1ExitDuringRun, StopsBetweenCardsAndEndsTheProgram) {
  const std::string how = GetParam();
  ASSERT_TRUE(BrowseAndChoose(WriteSource("contacts.vcf", Cards(3000)).wstring()));
  const fs::path out = MakeFolder("out");
  {
    DialogScript script([&] {
      if (const HWND browser = WaitForFolderBrowser()) {
        if (!SelectFolder(browser, out.wstring())) {
          PressAndWaitClosed(browser, IDCANCEL);
          return;
        }
        PressAndWaitClosed(browser, IDOK);
      }
    });
    Click(ui::IDC_CmdSplit);
  }
  // Let some cards be written first.
  ASSERT_TRUE(
      PumpUntil([&] { return Text(ui::IDC_LblProgessCurrent) != L"(0) vCard Saved"; }, milliseconds(20000)));
  const HWND window = Window();
  if (how == "exit button") {
    Click(ui::IDC_cmdEnd);
  } else if (how == "alt x") {
    PressKeys({VK_MENU, 'X'});
  } else {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  ASSERT_TRUE(WindowGone(milliseconds(5000), window));
  EXPECT_TRUE(QuitWasPosted());
  EXPECT_EQ(WaitForMessageBox(milliseconds(300)), nullptr) << "a stopped run shows no message";

  const std::size_t written = FilesIn(out).size();
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, 3000u) << "the run went on to the end";
  // Each file a run leaves holds one whole card, numbered without a gap.
  EXPECT_EQ(program_tests::CheckWholeCards(out, CardFile).fault, "");
  // Nothing is written after the program has been told to end.
  Sleep(300);
  EXPECT_EQ(FilesIn(out).size(), written);
}

std::string WayName(const ::testing::TestParamInfo<const char*>& way) {
  std::string name = way.param;
  for (char& c : name) c = c == ' ' ? '_' : c;
  return name;
}

INSTANTIATE_TEST_SUITE_P(Ways, Form1ExitDuringRun, ::testing::Values("exit button", "alt x", "close box"),
                         WayName);

}  // namespace
}  // namespace quillmere::testing
