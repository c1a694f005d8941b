// The program as it starts: it runs with the common controls the manifest
// asks for, its window carries the program's icon, it takes no notice of
// its command line, and several copies run side by side.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs:
#include <tlhelp32.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "control_ids.h"
#include "resource_reader.h"
#include "window_driver.h"

namespace quillmere::resources {
namespace {

using namespace driver;

// The main window of a started copy; fails the calling test when none shows.
HWND MainWindowOf(const RemoteProgram& program) {
  const HWND window = program.WaitForWindow(ui::kForm1Caption, ui::kForm1Class);
  EXPECT_NE(window, nullptr) << "no main window of class " << ::testing::PrintToString(ui::kForm1Class);
  return window;
}

// The file each module of a process was loaded from, by module name.
std::vector<std::pair<std::wstring, std::wstring>> ModulesOf(DWORD pid) {
  std::vector<std::pair<std::wstring, std::wstring>> modules;
  const win32::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && ::Module32FirstW(snapshot.get(), &entry); more;
       more = ::Module32NextW(snapshot.get(), &entry)) {
    modules.emplace_back(Lower(entry.szModule), Lower(entry.szExePath));
  }
  return modules;
}

// Visual styles need version 6 of comctl32, which only the side-by-side
// store holds; without the manifest the program gets the system folder's
// version 5. (Its DllGetVersion says 5.81 under Wine either way, so the
// file it came from is what tells them apart.)
TEST(ProgramStart, LoadsCommonControls6FromTheSideBySideStore) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  RemoteProgram program(ProgramPath());
  ASSERT_NE(MainWindowOf(program), nullptr);
  const auto modules = ModulesOf(program.Pid());
  ASSERT_FALSE(modules.empty()) << "cannot list the program's modules";
  const auto comctl =
      std::find_if(modules.begin(), modules.end(), [](const auto& m) { return m.first == L"comctl32.dll"; });
  ASSERT_NE(comctl, modules.end()) << "the program has not loaded comctl32";
  EXPECT_NE(comctl->second.find(L"\\winsxs\\"), std::wstring::npos)
      << ::testing::PrintToString(comctl->second);
  EXPECT_NE(comctl->second.find(L"microsoft.windows.common-controls"), std::wstring::npos)
      << ::testing::PrintToString(comctl->second);
  EXPECT_NE(comctl->second.find(L"_6.0."), std::wstring::npos) << ::testing::PrintToString(comctl->second);
}

// The screen's pixels in a rectangle, as 0x00RRGGBB, top row first.
std::vector<std::uint32_t> ScreenPixels(const RECT& area) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  const win32::WindowDc screen(nullptr);
  const win32::UniqueDc memory(::CreateCompatibleDC(screen.get()));
  const win32::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
  {
    const win32::ScopedSelect selected(memory.get(), bitmap.get());
    ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
  }
  auto pixels = BitmapPixels(bitmap.get(), width, height);
  for (auto& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

bool Near(std::uint32_t a, std::uint32_t b) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 6)
      return false;
  }
  return true;
}

// Whether the opaque pixels of a 16 x 16 32-bit image appear somewhere in
// the screen area (see-through pixels show the caption, so they are skipped).
bool ShowsImage(const std::vector<std::uint32_t>& screen, int width, int height, const Bytes& image) {
  constexpr int kSize = 16;
  for (int top = 0; top + kSize <= height; ++top) {
    for (int left = 0; left + kSize <= width; ++left) {
      bool all = true;
      for (int y = 0; y < kSize && all; ++y) {
        for (int x = 0; x < kSize && all; ++x) {
          const std::uint32_t pixel =
              Dword(image, 40 + static_cast<std::size_t>((kSize - 1 - y) * kSize + x) * 4);
          if (pixel >> 24 != 0xFF) continue;
          all = Near(screen[static_cast<std::size_t>((top + y) * width + left + x)], pixel & 0xFFFFFF);
        }
      }
      if (all) return true;
    }
  }
  return false;
}

// The caption shows the 16-pixel image of the program's own icon group, so
// the window took its icon from the program, not a stock one. (WM_GETICON
// is not answered across processes under Wine; resource_window_test.cpp
// reads the icons inside the window's process.)
TEST(ProgramWindow, CaptionShowsTheSmallImageOfTheIconGroup) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  const UniqueModule resources = LoadProgramResources();
  ASSERT_TRUE(resources);
  const Bytes small = ResourceBytes(resources.get(), RT_ICON, 30003, 0);
  ASSERT_EQ(small.size(), 1128u);
  RemoteProgram program(ProgramPath());
  const HWND window = MainWindowOf(program);
  ASSERT_NE(window, nullptr);
  // Above any other window, so the screen shows this window's caption.
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RECT frame{}, client{};
  ASSERT_TRUE(::GetWindowRect(window, &frame));
  ASSERT_TRUE(::GetClientRect(window, &client));
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  const RECT caption{frame.left, frame.top, frame.right, origin.y};  // everything above the client area
  const int width = caption.right - caption.left, height = caption.bottom - caption.top;
  ASSERT_GE(height, 16) << "no room for a caption icon";
  const bool shown =
      WaitFor([&] { return ShowsImage(ScreenPixels(caption), width, height, small); }, milliseconds(5000));
  EXPECT_TRUE(shown) << "the caption does not show image 30003 of the icon group";
}

// What a user sees of a window or control: its class, id, text, style
// (shown, enabled, drawn) and place on the screen.
struct Seen {
  std::wstring className, text;
  int id = 0;
  LONG style = 0;
  RECT place{};
};

Seen SeeOne(HWND window) {
  Seen seen{std::wstring(128, L'\0'), TextOf(window).value_or(L"<no answer>"), ::GetDlgCtrlID(window),
            ::GetWindowLongW(window, GWL_STYLE)};
  seen.className.resize(static_cast<std::size_t>(::GetClassNameW(window, seen.className.data(), 128)));
  ::GetWindowRect(window, &seen.place);
  return seen;
}

BOOL CALLBACK AddControl(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<Seen>*>(param)->push_back(SeeOne(child));
  return TRUE;
}

// The window, then every control; and the id of the control with the focus.
using WindowSeen = std::pair<std::vector<Seen>, int>;
WindowSeen See(HWND window) {
  std::vector<Seen> seen{SeeOne(window)};
  ::EnumChildWindows(window, AddControl, reinterpret_cast<LPARAM>(&seen));
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  const bool focus =
      ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndFocus;
  return {seen, focus ? ::GetDlgCtrlID(thread.hwndFocus) : 0};
}

void ExpectSameWindow(const WindowSeen& with, const WindowSeen& without) {
  EXPECT_EQ(with.second, without.second) << "the focus starts elsewhere";
  ASSERT_EQ(with.first.size(), without.first.size());
  for (std::size_t i = 0; i < with.first.size(); ++i) {
    const Seen &a = with.first[i], &b = without.first[i];
    SCOPED_TRACE(i == 0 ? std::string("the window") : "control id " + std::to_string(b.id));
    EXPECT_EQ(a.className, b.className);
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.style, b.style) << "shown, enabled or drawn differently";
    EXPECT_TRUE(::EqualRect(&a.place, &b.place)) << "placed or sized differently";
  }
}

// None, then arguments a user or a shell might pass: a card file dropped on
// the program, a folder, switches of other programs, and rubbish.
std::vector<std::wstring> StrayArguments() {
  const std::wstring corpus = driver::WindowsPath(QUILLMERE_CORPUS_DIR);
  return {
      L"",
      L"\"" + corpus + L"\\CyanogenMod__android_frameworks_opt_vcard__v21_multiple_entry.vcf\"",
      L"\"" + corpus + L"\"",
      L"/s /split --out=C:\\ -x",
      L"\"C:\\no such folder\\cards.vcf\" /? -- \"\" %PATH% \xE9t\xE9",
  };
}

TEST(ProgramStart, ArgumentsChangeNothingInTheWindow) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  std::optional<WindowSeen> plain;  // the window as a start without arguments shows it
  for (const std::wstring& arguments : StrayArguments()) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    RemoteProgram program(ProgramPath(), arguments);
    const HWND window = MainWindowOf(program);
    ASSERT_NE(window, nullptr) << "no window when started with arguments";
    EXPECT_FALSE(program.WaitForExit(milliseconds(0))) << "the program ended by itself";
    if (plain) ExpectSameWindow(See(window), *plain);
    if (!plain) plain = See(window);
    ASSERT_GT(plain->first.size(), 1u) << "the window has no controls to compare";
    program.Close(window);
  }
}

TEST(ProgramStart, TwoCopiesRunSideBySide) {
  QUILLMERE_SKIP_WITHOUT_DISPLAY();
  RemoteProgram first(ProgramPath());
  const HWND firstWindow = MainWindowOf(first);
  ASSERT_NE(firstWindow, nullptr);
  RemoteProgram second(ProgramPath());
  const HWND secondWindow = MainWindowOf(second);
  ASSERT_NE(secondWindow, nullptr) << "the second copy showed no window";
  EXPECT_NE(first.Pid(), second.Pid());
  EXPECT_NE(firstWindow, secondWindow);
  EXPECT_TRUE(::IsWindowVisible(firstWindow));
  EXPECT_TRUE(::IsWindowVisible(secondWindow));
  EXPECT_FALSE(first.WaitForExit(milliseconds(500))) << "starting a second copy ended the first";
  // Each copy is independent: closing one leaves the other running.
  first.Close(firstWindow);
  EXPECT_TRUE(first.WaitForExit(milliseconds(5000)));
  EXPECT_TRUE(Answers(secondWindow, 2000ms));
  EXPECT_TRUE(::IsWindowVisible(secondWindow));
  second.Close(secondWindow);
}

}  // namespace
}  // namespace quillmere::resources
