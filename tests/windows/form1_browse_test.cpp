// The start state and "Browse...": what the open dialog offers, and how a
// choice, a cancel, typing and a file dropped on the window change (or do
// not change) it.
// clang-format off
#include <windows.h>
#include <cderr.h>
#include <dlgs.h>
// clang-format on

#include <shlobj.h>

#include <atomic>
#include <cstring>

#include "form1_fixture.h"

namespace quillmere::testing {
namespace {

// Files dragged from Explorer and let go over the window, as the shell
// hands them over: a DROPFILES block with the paths one after the other.
void DropOn(HWND window, const std::vector<fs::path>& paths) {
  std::wstring names;
  for (const fs::path& path : paths) names += path.wstring() + L'\0';
  names += L'\0';
  const std::size_t bytes = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
  const HGLOBAL drop = GlobalAlloc(GHND, bytes);
  auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), names.data(),
              names.size() * sizeof(wchar_t));
  GlobalUnlock(drop);
  PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
}

class Form1Browse : public Form1Test {
 protected:
  void ExpectPathShownAndSplitOn(const fs::path& source) {
    EXPECT_EQ(Text(ui::IDC_txtvCFPath), source.wstring());
    EXPECT_TRUE(Enabled(ui::IDC_CmdSplit));
  }
};

TEST_F(Form1Browse, StartsWithEmptyPathSplitOffAndSingularCount) {
  EXPECT_EQ(Text(ui::IDC_txtvCFPath), L"");
  EXPECT_FALSE(Enabled(ui::IDC_CmdSplit));
  EXPECT_TRUE(Enabled(ui::IDC_CmdBrowse));
  EXPECT_TRUE(Enabled(ui::IDC_cmdEnd));
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(0) vCard Saved");
}

TEST_F(Form1Browse, OpenDialogOffersVcfFilesWithAnEmptyNameAndIsModal) {
  std::optional<std::wstring> filter, name;
  bool ownerDisabled = false;
  HWND owner = nullptr;
  PressWith(ui::IDC_CmdBrowse, [&] {
    const HWND dialog = WaitForOpenDialog();
    if (dialog == nullptr) return;
    filter = TextOf(GetDlgItem(dialog, cmb1));
    name = TextOf(GetDlgItem(dialog, cmb13));
    owner = GetWindow(dialog, GW_OWNER);
    ownerDisabled = !IsWindowEnabled(Window());
    PressAndWaitClosed(dialog, IDCANCEL);
  });
  EXPECT_EQ(filter, std::wstring(L"vCard File (*.vcf)"));
  EXPECT_EQ(name, std::wstring());
  EXPECT_EQ(owner, Window());
  EXPECT_TRUE(ownerDisabled) << "the dialog is not modal to the window";
}

TEST_F(Form1Browse, CancellingTheFirstBrowseLeavesSplitOffAndPathEmpty) {
  ASSERT_TRUE(BrowseAndCancel());
  EXPECT_EQ(Text(ui::IDC_txtvCFPath), L"");
  EXPECT_FALSE(Enabled(ui::IDC_CmdSplit));
  EXPECT_EQ(WaitForMessageBox(200ms), nullptr) << "a cancel is not a failure";
}

TEST_F(Form1Browse, ChoosingAFileShowsItsFullPathAndEnablesSplit) {
  const fs::path source = WriteSource("contacts.vcf", Cards(2));
  ASSERT_TRUE(BrowseAndChoose(source.wstring()));
  ExpectPathShownAndSplitOn(source);
}

TEST_F(Form1Browse, NameOfAFileThatDoesNotExistIsAccepted) {
  const fs::path missing = scratch_ / "not-there.vcf";
  ASSERT_TRUE(BrowseAndChoose(missing.wstring()));
  ExpectPathShownAndSplitOn(missing);
}

TEST_F(Form1Browse, CancellingASecondBrowseKeepsTheFirstFileForSplit) {
  const fs::path first = WriteSource("first.vcf", Cards(2));
  ASSERT_TRUE(BrowseAndChoose(first.wstring()));
  ASSERT_TRUE(BrowseAndCancel());
  ExpectPathShownAndSplitOn(first);
  const fs::path out = MakeFolder("out");
  ASSERT_TRUE(SplitInto(out.wstring()).box.has_value());
  EXPECT_EQ(FileNames(out), (std::vector<std::wstring>{L"vCard1.vcf", L"vCard2.vcf"}));
}

TEST_F(Form1Browse, ASecondChoiceReplacesTheFirst) {
  ASSERT_TRUE(BrowseAndChoose(WriteSource("first.vcf", Cards(2)).wstring()));
  const fs::path second = WriteSource("second.vcf", Cards(3));
  ASSERT_TRUE(BrowseAndChoose(second.wstring()));
  EXPECT_EQ(Text(ui::IDC_txtvCFPath), second.wstring());
  const fs::path out = MakeFolder("out");
  ASSERT_TRUE(SplitInto(out.wstring()).box.has_value());
  EXPECT_EQ(FileNames(out).size(), 3u);
}

TEST_F(Form1Browse, TypingPastingAndDeletingInThePathBoxChangeNothing) {
  const fs::path source = WriteSource("contacts.vcf", Cards(1));
  ASSERT_TRUE(BrowseAndChoose(source.wstring()));
  const HWND box = Control(ui::IDC_txtvCFPath);
  SetFocus(box);
  if (OpenClipboard(Window())) {  // something to paste
    EmptyClipboard();
    const wchar_t pasted[] = L"C:\\elsewhere.vcf";
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof pasted)) {
      memcpy(GlobalLock(memory), pasted, sizeof pasted);
      GlobalUnlock(memory);
      SetClipboardData(CF_UNICODETEXT, memory);
    }
    CloseClipboard();
  }
  SendMessageW(box, EM_SETSEL, 0, -1);
  PostMessageW(box, WM_CHAR, L'x', 1);
  PostMessageW(box, WM_CHAR, L'\b', 1);
  PostMessageW(box, WM_KEYDOWN, VK_DELETE, 1);
  for (UINT message : {WM_PASTE, WM_CUT, WM_CLEAR}) PostMessageW(box, message, 0, 0);
  PumpUntil([] { return false; }, 200ms, Window());
  EXPECT_EQ(Text(ui::IDC_txtvCFPath), source.wstring());
}

// The platform's dialog limits a name to MAX_PATH characters, far below the
// 1000 the program asks for, so its failures cannot be brought about from
// outside; their texts are checked where they are made.
TEST(SourceChooserWarning, EachDialogFailureHasItsText) {
  const std::pair<DWORD, const wchar_t*> cases[] = {
      {FNERR_BUFFERTOOSMALL, L"Please select only 1000 files at a time"},
      {FNERR_INVALIDFILENAME, L"12290:The file name is not valid"},
      {CDERR_DIALOGFAILURE, L"65535:The dialog box could not be created"},
      {CDERR_MEMALLOCFAILURE, L"9:Out of memory"},
      {0x7777, L"30583:The file dialog failed"},
  };
  for (const auto& [error, text] : cases)
    EXPECT_EQ(ui::FileDialogFailureText(error), text) << "error " << error;
}

TEST_F(Form1Browse, WindowTakesDroppedFiles) {
  EXPECT_TRUE(GetWindowLongW(Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) << "Explorer shows no drop";
}

TEST_F(Form1Browse, DroppedVcfIsChosenAsBrowseChoosesIt) {
  const fs::path source = WriteSource("dropped.vcf", Cards(2));
  DropOn(Window(), {source});
  Pump(200ms);
  ExpectPathShownAndSplitOn(source);
  // And it is what a split reads.
  const fs::path out = MakeFolder("out");
  const RunSeen seen = SplitInto(out.wstring());
  ASSERT_TRUE(seen.box.has_value());
  EXPECT_EQ(CheckWholeCards(out).files, 2u);
}

struct Refused {
  const char* name;
  int files;  // 0: a folder
  const wchar_t* said;
};

void PrintTo(const Refused& drop, std::ostream* out) {
  *out << drop.name;
}

class Form1RefusedDrop : public Form1Browse, public ::testing::WithParamInterface<Refused> {};

TEST_P(Form1RefusedDrop, ChangesNothingAndSaysWhy) {
  const fs::path first = WriteSource("first.vcf", Cards(1));
  ASSERT_TRUE(BrowseAndChoose(first.wstring()));
  std::vector<fs::path> dropped{MakeFolder("a folder")};
  if (GetParam().files > 0) dropped.clear();
  for (int n = 0; n < GetParam().files; ++n) {
    dropped.push_back(WriteSource("more" + std::to_string(n) + ".vcf", Cards(1)));
  }
  std::optional<MessageBoxSeen> box;
  std::atomic<bool> done{false};
  std::jthread script([&] {
    if (const HWND shown = WaitForMessageBox()) {
      box = ReadMessageBox(shown);
      PressAndWaitClosed(shown, IDOK);
    }
    done = true;
  });
  DropOn(Window(), dropped);
  PumpUntil([&] { return done.load(); });
  script.join();
  ASSERT_TRUE(box.has_value()) << "nothing was said";
  EXPECT_EQ(box->title, L"Quillmere");
  EXPECT_NE(box->text.find(GetParam().said), std::wstring::npos) << Narrow(box->text);
  EXPECT_EQ(box->owner, Window());
  ExpectPathShownAndSplitOn(first);
}

INSTANTIATE_TEST_SUITE_P(Drops, Form1RefusedDrop,
                         ::testing::Values(Refused{"TwoFiles", 2, L"one vCard file"},
                                           Refused{"Folder", 0, L"is a folder"}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillmere::testing
