// "Split vCards": the folder browser, a run on its way, and the message a
// user reads at its end.
#include <atomic>
#include <set>

#include "form1_fixture.h"
#include "window_run.h"

namespace quillmere::testing {
namespace {

class Form1Split : public Form1Test {
 protected:
  // Chooses a source with these bytes.
  void ChooseSource(const std::string& bytes) {
    const fs::path source = WriteSource("contacts.vcf", bytes);
    ASSERT_TRUE(BrowseAndChoose(source.wstring()));
  }

  struct Snapshot {
    std::vector<std::wstring> texts;
    std::vector<bool> enabled;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
  };
  Snapshot Controls() const {
    Snapshot s;
    for (ui::ControlId id : {ui::IDC_Label4, ui::IDC_txtvCFPath, ui::IDC_CmdBrowse, ui::IDC_Label1,
                             ui::IDC_LblProgessCurrent, ui::IDC_CmdSplit, ui::IDC_cmdEnd}) {
      s.texts.push_back(Text(id));
      s.enabled.push_back(Enabled(id));
    }
    return s;
  }
};

TEST_F(Form1Split, FolderBrowserHasTheTitleAndIsModal) {
  ChooseSource(Cards(1));
  std::wstring title;
  HWND owner = nullptr;
  {
    DialogScript script([&] {
      const HWND browser = WaitForFolderBrowser();
      if (browser == nullptr) return;
      owner = GetWindow(browser, GW_OWNER);
      // The title given to the browser is shown above its tree.
      for (HWND child = GetWindow(browser, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (TextOf(child) == L"Choose Folder to Save...") title = TextOf(child);
      }
      PressAndWaitClosed(browser, IDCANCEL);
    });
    Click(ui::IDC_CmdSplit);
  }
  EXPECT_EQ(title, L"Choose Folder to Save...");
  EXPECT_EQ(owner, Window());
}

TEST_F(Form1Split, CancellingTheFolderBrowserLeavesEveryControlAsItWas) {
  ChooseSource(Cards(2));
  const Snapshot before = Controls();
  ASSERT_TRUE(SplitAndCancel());
  EXPECT_EQ(Controls(), before);
  EXPECT_EQ(WaitForMessageBox(milliseconds(300)), nullptr) << "a cancelled split shows nothing";
  EXPECT_EQ(FilesIn(scratch_), std::vector<std::wstring>{L"contacts.vcf"});
}

TEST_F(Form1Split, FullRunWritesEveryCardAndReportsTheExactText) {
  ChooseSource(Cards(3));
  const fs::path out = MakeFolder("out");
  const RunSeen run = SplitInto(out.wstring());
  ASSERT_TRUE(run.folderSelected);
  ASSERT_TRUE(run.box.has_value()) << "no message at the end of the run";
  EXPECT_EQ(run.box->title, L"Quillmere");
  EXPECT_EQ(run.box->text, L"3 vCards Saved in \r\n" + out.wstring() + L"\\");
  EXPECT_EQ(run.box->icon, BoxIcon::Information);
  EXPECT_EQ(run.box->owner, Window());
  EXPECT_EQ(run.labelWhileBoxShown, L"(3) vCards Saved") << "the final count came after the message";

  EXPECT_EQ(FilesIn(out), (std::vector<std::wstring>{L"vCard1.vcf", L"vCard2.vcf", L"vCard3.vcf"}));
  EXPECT_NE(ReadAll(out / "vCard2.vcf").find("FN:Person 2"), std::string::npos);
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(3) vCards Saved");
  EXPECT_TRUE(Enabled(ui::IDC_CmdSplit)) << "Split stays off after the run";
}

// Wine's C: is a folder of the test's own prefix, so its root is a real
// drive root that the test may lend two files to. Elsewhere the test keeps off.
bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST_F(Form1Split, DriveRootIsUsedWithItsOneBackslash) {
  if (!UnderWine()) GTEST_SKIP() << "writes into C:\\, which only Wine's scratch prefix lends";
  const std::wstring root = L"C:\\";
  const std::vector<std::wstring> cards{L"vCard1.vcf", L"vCard2.vcf", L"vCard3.vcf"};
  for (const std::wstring& name : cards) {
    if (fs::exists(root + name)) GTEST_SKIP() << "C:\\ already holds a file of that name";
  }

  ChooseSource(Cards(2));
  const RunSeen run = SplitInto(root);
  std::vector<std::wstring> written;
  for (const std::wstring& name : cards) {
    if (fs::exists(root + name)) written.push_back(name);
    fs::remove(root + name);
  }

  ASSERT_TRUE(run.folderSelected);
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->text, L"2 vCards Saved in \r\nC:\\");
  EXPECT_EQ(written, (std::vector<std::wstring>{L"vCard1.vcf", L"vCard2.vcf"}));
}

TEST_F(Form1Split, LinesWithoutACardShowAPluralZero) {
  ChooseSource("no cards here\r\njust notes\r\n");
  const fs::path out = MakeFolder("out");
  const RunSeen run = SplitInto(out.wstring());
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.labelWhileBoxShown, L"(0) vCards Saved");
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(0) vCards Saved");
  EXPECT_EQ(run.box->text, L"0 vCards Saved in \r\n" + out.wstring() + L"\\");
  EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(Form1Split, EmptySourceLeavesTheLabelAsItWas) {
  ChooseSource("");
  const fs::path out = MakeFolder("out");
  const RunSeen run = SplitInto(out.wstring());
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.labelWhileBoxShown, L"(0) vCard Saved");
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(0) vCard Saved");
  EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(Form1Split, EmptySourceAfterARunKeepsTheLastCount) {
  ChooseSource(Cards(2));
  ASSERT_TRUE(SplitInto(MakeFolder("first").wstring()).box.has_value());
  ASSERT_TRUE(BrowseAndChoose(WriteSource("empty.vcf", "").wstring()));
  ASSERT_TRUE(SplitInto(MakeFolder("second").wstring()).box.has_value());
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(2) vCards Saved");
}

TEST_F(Form1Split, UnfinishedLastCardIsNamedInTheMessage) {
  ChooseSource(Cards(1) + "BEGIN:VCARD\r\nFN:Cut off\r\n");
  const fs::path out = MakeFolder("out");
  const RunSeen run = SplitInto(out.wstring());
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->text, L"1 vCards Saved in \r\n" + out.wstring() +
                               L"\\\r\n\r\nThe last card has no END:VCARD line and was not saved.");
  EXPECT_EQ(FilesIn(out), std::vector<std::wstring>{L"vCard1.vcf"});
}

TEST_F(Form1Split, MissingSourceGivesAWarningNamingTheFile) {
  const fs::path missing = scratch_ / "gone.vcf";
  ASSERT_TRUE(BrowseAndChoose(missing.wstring()));
  const RunSeen run = SplitInto(MakeFolder("out").wstring());
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->title, L"Quillmere");
  EXPECT_EQ(run.box->icon, BoxIcon::Warning);
  EXPECT_EQ(run.box->owner, Window());
  EXPECT_NE(run.box->text.find(missing.wstring()), std::wstring::npos) << "the file is not named";
  EXPECT_NE(run.box->text.find(L"0 vCards were saved"), std::wstring::npos);
  EXPECT_TRUE(Enabled(ui::IDC_CmdSplit));
}

// A run long enough to be seen while it goes on (Wine creates files slowly,
// a few milliseconds each).
constexpr int kLongRunCards = 3000;

TEST_F(Form1Split, DuringARunSplitIsOffTheCountMovesAndBrowseOnlyChangesTheNextRun) {
  ChooseSource(Cards(kLongRunCards));
  const fs::path out = MakeFolder("out");
  const fs::path next = WriteSource("next.vcf", Cards(1));

  std::atomic<bool> runStarted{false}, browseOpened{false}, boxShown{false}, done{false};
  bool browsedDuringRun = false;
  std::optional<MessageBoxSeen> box;
  DialogScript script([&] {
    if (const HWND browser = WaitForFolderBrowser()) {
      runStarted = SelectFolder(browser, out.wstring()) && PressAndWaitClosed(browser, IDOK);
      if (!runStarted) PressAndWaitClosed(browser, IDCANCEL);
    }
    if (runStarted) {
      if (const HWND dialog = WaitForOpenDialog()) {
        browseOpened = true;
        TypeFileName(dialog, next.wstring());
        browsedDuringRun = PressAndWaitClosed(dialog, IDOK);
      }
      if (const HWND end = WaitForMessageBox(milliseconds(120000))) {
        box = ReadMessageBox(end);
        boxShown = true;
        PressAndWaitClosed(end, IDOK);
      }
    }
    done = true;
  });
  Click(ui::IDC_CmdSplit);
  const bool splitOffAtStart = !Enabled(ui::IDC_CmdSplit);

  std::set<std::wstring> labels;
  bool browseClicked = false;
  bool splitOffDuringRun = false;
  PumpUntil(
      [&] {
        if (done || boxShown) return done.load();
        labels.insert(Text(ui::IDC_LblProgessCurrent));
        if (!browseClicked && labels.size() >= 3) {
          browseClicked = true;
          splitOffDuringRun = !Enabled(ui::IDC_CmdSplit);
          PostMessageW(Control(ui::IDC_CmdBrowse), BM_CLICK, 0, 0);
        }
        if (browseOpened) splitOffDuringRun = splitOffDuringRun && !Enabled(ui::IDC_CmdSplit);
        return false;
      },
      milliseconds(180000));
  script.Join();

  ASSERT_TRUE(runStarted);
  EXPECT_TRUE(splitOffAtStart) << "Split is on while the run goes on";
  EXPECT_TRUE(splitOffDuringRun) << "Split came on during the run";
  EXPECT_GE(labels.size(), 3u) << "the count did not move during the run";
  EXPECT_TRUE(browsedDuringRun) << "Browse did not work during the run";
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, std::to_wstring(kLongRunCards) + L" vCards Saved in \r\n" + out.wstring() + L"\\");
  EXPECT_EQ(FilesIn(out).size(), static_cast<std::size_t>(kLongRunCards)) << "the new file changed the run";
  EXPECT_EQ(Text(ui::IDC_txtvCFPath), next.wstring());
  EXPECT_TRUE(Enabled(ui::IDC_CmdSplit));
}

// Seen by a hook on the test thread's queue: the run's progress messages to
// the window, and the ticks of a timer. Timer messages come only when the
// queue holds nothing else, so ticks during a run show that input and
// painting get their turn.
struct QueueCounts {
  HWND window = nullptr;
  UINT_PTR timer = 0;
  int progressMessages = 0;
  int timerTicks = 0;
};
QueueCounts* g_counts = nullptr;

LRESULT CALLBACK CountMessages(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE && g_counts != nullptr) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (message->hwnd == g_counts->window && message->message == ui::kRunProgressMessage) {
      ++g_counts->progressMessages;
    }
    if (message->message == WM_TIMER && message->wParam == g_counts->timer) ++g_counts->timerTicks;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Form1Split, ProgressIsCoalescedAndLeavesTheQueueFree) {
  constexpr int kCards = 2000;
  constexpr int kLinesPerCard = 6;
  ChooseSource(Cards(kCards));
  const fs::path out = MakeFolder("out");
  QueueCounts counts{Window(), SetTimer(nullptr, 0, 20, nullptr)};
  g_counts = &counts;
  const HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, CountMessages, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  const RunSeen run = SplitInto(out.wstring(), milliseconds(120000));
  UnhookWindowsHookEx(hook);
  KillTimer(nullptr, counts.timer);
  g_counts = nullptr;

  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(FilesIn(out).size(), static_cast<std::size_t>(kCards));
  EXPECT_GE(counts.progressMessages, 3) << "the count was not shown while the run went on";
  EXPECT_LT(counts.progressMessages, kCards * kLinesPerCard / 10) << "progress is not coalesced";
  EXPECT_GE(counts.timerTicks, 10) << "the run's messages left no turn for input and painting";
}

}  // namespace
}  // namespace quillmere::testing
