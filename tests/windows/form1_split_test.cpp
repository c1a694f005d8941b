// "Split vCards": the folder browser, a run on its way, and the message a
// user reads at its end.
#include <algorithm>
#include <atomic>
#include <set>

#include "form1_fixture.h"
#include "window_run.h"

namespace quillmere::testing {
namespace {

class Form1Split : public Form1Test {
 protected:
  void ChooseSource(const std::string& bytes) {
    ASSERT_TRUE(BrowseAndChoose(WriteSource("contacts.vcf", bytes).wstring()));
  }
  // Every control's text and whether it is enabled.
  std::vector<std::pair<std::wstring, bool>> Snapshot() const {
    std::vector<std::pair<std::wstring, bool>> s;
    for (ui::ControlId id : {ui::IDC_Label4, ui::IDC_txtvCFPath, ui::IDC_CmdBrowse, ui::IDC_Label1,
                             ui::IDC_LblProgessCurrent, ui::IDC_CmdSplit, ui::IDC_cmdEnd}) {
      s.emplace_back(Text(id), Enabled(id));
    }
    return s;
  }
  // A run of `source` into a new folder "out", which it returns.
  fs::path Run(const std::string& source, RunSeen& run) {
    ChooseSource(source);
    const fs::path out = MakeFolder("out");
    run = SplitInto(out.wstring());
    return out;
  }
  static std::wstring Saved(int cards, const fs::path& out) {
    return std::to_wstring(cards) + L" vCards Saved in \r\n" + out.wstring() + L"\\";
  }
};

TEST_F(Form1Split, FolderBrowserHasTheTitleAndIsModal) {
  ChooseSource(Cards(1));
  bool titled = false;
  HWND owner = nullptr;
  PressWith(ui::IDC_CmdSplit, [&] {
    const HWND browser = WaitForFolderBrowser();
    if (browser == nullptr) return;
    owner = GetWindow(browser, GW_OWNER);
    // The title given to the browser is shown above its tree.
    titled = FindChildWithText(browser, L"Choose Folder to Save...") != nullptr;
    PressAndWaitClosed(browser, IDCANCEL);
  });
  EXPECT_TRUE(titled) << "no \"Choose Folder to Save...\" in the browser";
  EXPECT_EQ(owner, Window());
}

TEST_F(Form1Split, CancellingTheFolderBrowserLeavesEveryControlAsItWas) {
  ChooseSource(Cards(2));
  const auto before = Snapshot();
  ASSERT_TRUE(SplitAndCancel());
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(WaitForMessageBox(300ms), nullptr) << "a cancelled split shows nothing";
  EXPECT_EQ(FileNames(scratch_), std::vector<std::wstring>{L"contacts.vcf"});
}

TEST_F(Form1Split, FullRunWritesEveryCardAndReportsTheExactText) {
  RunSeen run;
  const fs::path out = Run(Cards(3), run);
  ASSERT_TRUE(run.folderSelected);
  ASSERT_TRUE(run.box.has_value()) << "no message at the end of the run";
  EXPECT_EQ(run.box->title, L"Quillmere");
  EXPECT_EQ(run.box->text, Saved(3, out));
  EXPECT_EQ(run.box->icon, BoxIcon::Information);
  EXPECT_EQ(run.box->owner, Window());
  EXPECT_EQ(run.labelWhileBoxShown, L"(3) vCards Saved") << "the final count came after the message";
  EXPECT_EQ(FileNames(out), (std::vector<std::wstring>{L"vCard1.vcf", L"vCard2.vcf", L"vCard3.vcf"}));
  EXPECT_NE(ReadWholeFile(out / "vCard2.vcf").find("FN:Person 2"), std::string::npos);
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(3) vCards Saved");
  EXPECT_TRUE(Enabled(ui::IDC_CmdSplit)) << "Split stays off after the run";
}

// Wine's C: is a folder of the test's own prefix, so its root is a real
// drive root that the test may lend two files to. Elsewhere the test keeps off.
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
  RunSeen run;
  const fs::path out = Run("no cards here\r\njust notes\r\n", run);
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.labelWhileBoxShown, L"(0) vCards Saved");
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(0) vCards Saved");
  EXPECT_EQ(run.box->text, Saved(0, out));
  EXPECT_TRUE(FileNames(out).empty());
}

TEST_F(Form1Split, EmptySourceLeavesTheLabelAsItWas) {
  RunSeen run;
  const fs::path out = Run("", run);
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.labelWhileBoxShown, L"(0) vCard Saved");
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(0) vCard Saved");
  EXPECT_TRUE(FileNames(out).empty());
}

TEST_F(Form1Split, EmptySourceAfterARunKeepsTheLastCount) {
  ChooseSource(Cards(2));
  ASSERT_TRUE(SplitInto(MakeFolder("first").wstring()).box.has_value());
  ASSERT_TRUE(BrowseAndChoose(WriteSource("empty.vcf", "").wstring()));
  ASSERT_TRUE(SplitInto(MakeFolder("second").wstring()).box.has_value());
  EXPECT_EQ(Text(ui::IDC_LblProgessCurrent), L"(2) vCards Saved");
}

TEST_F(Form1Split, UnfinishedLastCardIsNamedInTheMessage) {
  RunSeen run;
  const fs::path out = Run(Cards(1) + "BEGIN:VCARD\r\nFN:Cut off\r\n", run);
  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(run.box->text, Saved(1, out) + L"\r\n\r\nThe last card has no END:VCARD line and was not saved.");
  EXPECT_EQ(FileNames(out), std::vector<std::wstring>{L"vCard1.vcf"});
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
  std::jthread script([&] {
    if (const HWND browser = WaitForFolderBrowser()) runStarted = ChooseFolder(browser, out.wstring());
    if (runStarted) {
      if (const HWND dialog = WaitForOpenDialog()) {
        browseOpened = true;
        browsedDuringRun = ChooseFile(dialog, next.wstring());
      }
      if (const HWND end = WaitForMessageBox(120s)) {
        box = ReadMessageBox(end);
        boxShown = true;
        PressAndWaitClosed(end, IDOK);
      }
    }
    done = true;
  });
  Press(ui::IDC_CmdSplit);
  const bool splitOffAtStart = !Enabled(ui::IDC_CmdSplit);
  std::set<std::wstring> labels;
  bool browseClicked = false, splitOffDuringRun = false;
  PumpUntil(
      [&] {
        if (done || boxShown) return done.load();
        labels.insert(Text(ui::IDC_LblProgessCurrent));
        if (!browseClicked && labels.size() >= 3) {
          browseClicked = true;
          splitOffDuringRun = !Enabled(ui::IDC_CmdSplit);
          Click(Control(ui::IDC_CmdBrowse));
        }
        if (browseOpened) splitOffDuringRun = splitOffDuringRun && !Enabled(ui::IDC_CmdSplit);
        return false;
      },
      180s);
  script.join();

  ASSERT_TRUE(runStarted);
  EXPECT_TRUE(splitOffAtStart) << "Split is on while the run goes on";
  EXPECT_TRUE(splitOffDuringRun) << "Split came on during the run";
  EXPECT_GE(labels.size(), 3u) << "the count did not move during the run";
  EXPECT_TRUE(browsedDuringRun) << "Browse did not work during the run";
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, Saved(kLongRunCards, out));
  EXPECT_EQ(FileNames(out).size(), static_cast<std::size_t>(kLongRunCards)) << "the new file changed the run";
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
    g_counts->progressMessages +=
        message->hwnd == g_counts->window && message->message == ui::kRunProgressMessage;
    g_counts->timerTicks += message->message == WM_TIMER && message->wParam == g_counts->timer;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Form1Split, ProgressIsCoalescedAndLeavesTheQueueFree) {
  constexpr int kCards = 2000, kLinesPerCard = 6;
  ChooseSource(Cards(kCards));
  const fs::path out = MakeFolder("out");
  QueueCounts counts{Window(), SetTimer(nullptr, 0, 20, nullptr)};
  g_counts = &counts;
  const HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, CountMessages, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  const RunSeen run = SplitInto(out.wstring(), 120s);
  UnhookWindowsHookEx(hook);
  KillTimer(nullptr, counts.timer);
  g_counts = nullptr;

  ASSERT_TRUE(run.box.has_value());
  EXPECT_EQ(FileNames(out).size(), static_cast<std::size_t>(kCards));
  EXPECT_GE(counts.progressMessages, 3) << "the count was not shown while the run went on";
  EXPECT_LT(counts.progressMessages, kCards * kLinesPerCard / 10) << "progress is not coalesced";
  EXPECT_GE(counts.timerTicks, 10) << "the run's messages left no turn for input and painting";
}

// When screen readers were told the count label changed, and what it said.
struct Announcement {
  ULONGLONG tick;
  std::wstring text;
};
std::vector<Announcement>* g_announcements = nullptr;
HWND g_countLabel = nullptr;

void CALLBACK RecordAnnouncement(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
  if (g_announcements == nullptr || window != g_countLabel || object != OBJID_CLIENT ||
      child != CHILDID_SELF) {
    return;
  }
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  g_announcements->push_back({GetTickCount64(), text});
}

// A screen reader reads the count label aloud each time it is told of a
// change: often enough to follow a run, never a flood, and the final count
// always.
TEST_F(Form1Split, CountIsAnnouncedAtMostOnceASecondAndAtTheEnd) {
  constexpr int kCards = 3000;
  ChooseSource(Cards(kCards));
  const fs::path out = MakeFolder("out");
  std::vector<Announcement> heard;
  g_announcements = &heard;
  g_countLabel = Control(ui::IDC_LblProgessCurrent);
  const HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                      RecordAnnouncement, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  const ULONGLONG start = GetTickCount64();
  const RunSeen run = SplitInto(out.wstring(), 120s);
  const ULONGLONG took = GetTickCount64() - start;
  UnhookWinEvent(hook);
  g_announcements = nullptr;

  ASSERT_TRUE(run.box.has_value());
  ASSERT_FALSE(heard.empty()) << "the count was never announced";
  EXPECT_EQ(heard.back().text, L"(" + std::to_wstring(kCards) + L") vCards Saved")
      << "the final count was not announced";
  EXPECT_EQ(std::count_if(heard.begin(), heard.end(),
                          [&](const Announcement& a) { return a.text == heard.back().text; }),
            1)
      << "the end was announced more than once";
  for (std::size_t n = 1; n + 1 < heard.size(); ++n) {
    EXPECT_GE(heard[n].tick - heard[n - 1].tick, 950u) << "announcements " << n - 1 << " and " << n;
  }
  EXPECT_LE(heard.size(), took / 1000 + 2) << "more than one announcement a second";
  if (took > 2500) {
    EXPECT_GE(heard.size(), 2u) << "a long run was announced only at its end";
  }
}

}  // namespace
}  // namespace quillmere::testing
