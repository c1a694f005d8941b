// Ending the program: "E&xit", Alt+X, the close box and Alt+F4, with and
// without a run going on.
#include "form1_fixture.h"

namespace quillmere::testing {
namespace {

class Form1Exit : public Form1Test {
 protected:
  // Keys as the keyboard delivers them to the window that has the focus:
  // pressed in order, released in reverse.
  void PressKeys(std::initializer_list<WORD> keys) {
    SetForegroundWindow(Window());
    std::vector<INPUT> inputs(keys.size() * 2);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      for (INPUT* input : {&inputs[i], &inputs[inputs.size() - 1 - i]}) {
        input->type = INPUT_KEYBOARD;
        input->ki.wVk = keys.begin()[i];
      }
      inputs[inputs.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  }
  bool WindowGone(milliseconds limit, HWND keyboard = nullptr) {
    const HWND window = Window();
    return PumpUntil([&] { return !IsWindow(window); }, limit, keyboard);
  }
};

TEST_F(Form1Exit, ExitButtonClosesTheWindowAndEndsTheProgram) {
  Press(ui::IDC_cmdEnd);
  EXPECT_FALSE(IsWindow(form_->Window()));
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Exit, AltXPressesExit) {
  const HWND window = Window();
  PressKeys({VK_MENU, 'X'});
  EXPECT_TRUE(WindowGone(3s, window)) << "Alt+X did not end the window";
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Exit, AltF4ClosesTheWindowAndEndsTheProgram) {
  PressKeys({VK_MENU, VK_F4});
  EXPECT_TRUE(WindowGone(3s));
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Exit, CloseBoxEndsTheProgram) {
  SendMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(form_->Window()));
  EXPECT_TRUE(QuitWasPosted());
}

TEST_F(Form1Exit, EnterAndEscapeDoNothing) {
  ASSERT_TRUE(BrowseAndChoose(WriteSource("contacts.vcf", Cards(1)).wstring()));
  SetFocus(Control(ui::IDC_txtvCFPath));
  PressKeys({VK_RETURN});
  PressKeys({VK_ESCAPE});
  EXPECT_FALSE(WindowGone(500ms, Window()));
  EXPECT_EQ(WaitForDialog(nullptr, -1, 100ms), nullptr) << "a key opened a dialog";
}

class Form1ExitDuringRun : public Form1Exit, public ::testing::WithParamInterface<const char*> {};

TEST_P(Form1ExitDuringRun, StopsBetweenCardsAndEndsTheProgram) {
  const std::string how = GetParam();
  ASSERT_TRUE(BrowseAndChoose(WriteSource("contacts.vcf", Cards(3000)).wstring()));
  const fs::path out = MakeFolder("out");
  StartRun(out.wstring());
  // Let some cards be written first.
  ASSERT_TRUE(PumpUntil([&] { return Text(ui::IDC_LblProgessCurrent) != L"(0) vCard Saved"; }, 20s));
  const HWND window = Window();
  if (how == "exit button") {
    Press(ui::IDC_cmdEnd);
  } else if (how == "alt x") {
    PressKeys({VK_MENU, 'X'});
  } else {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  ASSERT_TRUE(WindowGone(5s, window));
  EXPECT_TRUE(QuitWasPosted());
  EXPECT_EQ(WaitForMessageBox(300ms), nullptr) << "a stopped run shows no message";

  const std::size_t written = FileNames(out).size();
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, 3000u) << "the run went on to the end";
  // Nothing is written after the program has been told to end.
  Sleep(300);
  EXPECT_EQ(FileNames(out).size(), written);
}

INSTANTIATE_TEST_SUITE_P(Ways, Form1ExitDuringRun, ::testing::Values("exit button", "alt x", "close box"),
                         [](const auto& way) {
                           std::string name = way.param;
                           for (char& c : name) c = c == ' ' ? '_' : c;
                           return name;
                         });

}  // namespace
}  // namespace quillmere::testing
