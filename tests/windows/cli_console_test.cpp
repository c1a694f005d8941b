// quillmere-split.exe shows any name as it is in a console, and writes UTF-8
// where its output is redirected. A console reads bytes in its own code
// page, so UTF-8 written to it garbles every name outside ASCII; the tool
// must give the console UTF-16 instead.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "console_stop.h"
#include "quillmere/splitter.h"
#include "test_files.h"
#include "window_driver.h"

namespace quillmere::testing {
namespace {

using namespace std::chrono_literals;

const std::wstring kName =
    L"\u041A\u043E\u043D\u0442\u0430\u043A\u0442\u044B \u5C71\u7530.vcf";  // Контакты 山田

// Runs the tool with `args` in `folder`, with the standard handles of
// `startup` when it has any; `started` runs once the tool has started (to
// feed a pipe). Returns its exit code.
DWORD RunTool(
    const fs::path& folder, const std::wstring& args, STARTUPINFOW startup = {},
    const std::function<void()>& started = [] {}) {
  std::wstring commandLine = L"\"" + driver::WindowsPath(QUILLMERE_SPLIT) + L"\" " + args;
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL inherit = startup.dwFlags & STARTF_USESTDHANDLES;
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inherit, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
    ADD_FAILURE() << "cannot start the tool: error " << ::GetLastError();
    return 99;
  }
  started();
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 99;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

// A file handle the tool inherits as one of its standard handles.
HANDLE Inherited(const fs::path& file, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(file.c_str(), access, FILE_SHARE_READ, &inherit, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

STARTUPINFOW Redirected(HANDLE input, HANDLE output) {
  STARTUPINFOW startup{};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = startup.hStdError = output;
  return startup;
}

// The tool runs on a source that does not exist, so that its one line on
// standard error names kName.
TEST(ToolConsole, ShowsANameOutsideAsciiAsItIs) {
  ScratchFolder folder(L"console");
  ::FreeConsole();
  if (!::AllocConsole()) GTEST_SKIP() << "no console can be made here (" << ::GetLastError() << ")";
  EXPECT_EQ(RunTool(folder.Path(), L"\"" + kName + L"\" out"), 1u);

  const win32::UniqueFile screen(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                               nullptr));
  ASSERT_TRUE(screen);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(::GetConsoleScreenBufferInfo(screen.get(), &info));
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwCursorPosition.Y + 1);
  std::wstring shown(cells, L' ');
  DWORD read = 0;
  ASSERT_TRUE(::ReadConsoleOutputCharacterW(screen.get(), shown.data(), cells, COORD{0, 0}, &read));
  shown.resize(read);
  ::FreeConsole();
  EXPECT_NE(shown.find(L"cannot open '" + kName + L"'"), std::wstring::npos)
      << "the console shows: " << driver::Narrow(shown);
}

TEST(ToolConsole, RedirectedOutputIsUtf8) {
  ScratchFolder folder(L"redirected");
  const auto errFile = folder.Path() / L"stderr.txt";
  const HANDLE err = Inherited(errFile, GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(err, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RunTool(folder.Path(), L"\"" + kName + L"\" out", Redirected(nullptr, err)), 1u);
  ::CloseHandle(err);
  const std::string utf8Name =
      "\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x82\xD0\xB0\xD0\xBA\xD1\x82\xD1\x8B \xE5\xB1\xB1\xE7\x94\xB0.vcf";
  EXPECT_NE(ReadWholeFile(errFile).find("cannot open '" + utf8Name + "'"), std::string::npos)
      << ReadWholeFile(errFile);
}

// "-" reads standard input, whether the shell hands over a file or a pipe
// (whose end Windows reports as a broken pipe, not as the end of a file).
TEST(ToolStandardInput, SplitsWhatAFileOrAPipeHandsOver) {
  const std::string cards = "BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n";
  for (const bool piped : {false, true}) {
    ScratchFolder folder(piped ? L"stdin-pipe" : L"stdin-file");
    fs::create_directory(folder.Path() / L"out");
    HANDLE input = nullptr, writer = nullptr;
    if (piped) {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      ASSERT_TRUE(::CreatePipe(&input, &writer, &inherit, 0));
      ::SetHandleInformation(writer, HANDLE_FLAG_INHERIT, 0);
    } else {
      WriteWholeFile(folder.Path() / L"in.vcf", cards);
      input = Inherited(folder.Path() / L"in.vcf", GENERIC_READ, OPEN_EXISTING);
      ASSERT_NE(input, INVALID_HANDLE_VALUE);
    }
    const auto outFile = folder.Path() / L"stdout.txt";
    const HANDLE out = Inherited(outFile, GENERIC_WRITE, CREATE_ALWAYS);
    const DWORD code = RunTool(folder.Path(), L"- out", Redirected(input, out), [&] {
      ::CloseHandle(input);
      ::CloseHandle(out);
      if (!piped) return;
      DWORD written = 0;
      EXPECT_TRUE(::WriteFile(writer, cards.data(), static_cast<DWORD>(cards.size()), &written, nullptr));
      ::CloseHandle(writer);
    });
    EXPECT_EQ(code, 0u) << (piped ? "pipe: " : "file: ") << ReadWholeFile(outFile);
    EXPECT_EQ(ReadWholeFile(folder.Path() / L"out" / L"vCard2.vcf"),
              "\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n")
        << (piped ? "pipe" : "file");
  }
}

// Standard output that is a file the run would write is kept as the source
// is: "quillmere-split in.vcf out > out\\vCard1.vcf" stops before that card
// instead of writing the card, and then its message, into the same file.
TEST(ToolStandardOutput, FileInsideTheDestinationIsNeverWrittenOver) {
  ScratchFolder folder(L"stdout-inside");
  WriteWholeFile(folder.Path() / L"in.vcf",
                 "BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n");
  fs::create_directory(folder.Path() / L"out");
  const auto card = folder.Path() / L"out" / L"vCard1.vcf";
  WriteWholeFile(card, "");
  // Shared for everything, so that nothing but the tool's own check keeps
  // the card out of it.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE out =
      ::CreateFileW(card.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  const auto errFile = folder.Path() / L"stderr.txt";
  const HANDLE err = Inherited(errFile, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW startup = Redirected(nullptr, out);
  startup.hStdError = err;
  EXPECT_EQ(RunTool(folder.Path(), L"in.vcf out", startup), 1u);
  ::CloseHandle(out);
  ::CloseHandle(err);
  EXPECT_NE(ReadWholeFile(errFile).find("That file is where this run's own messages go"), std::string::npos)
      << ReadWholeFile(errFile);
  EXPECT_EQ(ReadWholeFile(card), "") << "a card or the message went into it";
  EXPECT_FALSE(fs::exists(folder.Path() / L"out" / L"vCard2.vcf"));
}

// Every console event stops a long run through the tool's handler, called
// as the system calls it: on a thread of its own while the run goes on.
struct ConsoleEvent {
  const char* name;
  DWORD code;
  bool waitsForTheRun;  // the system ends the process as the handler returns
};

void PrintTo(const ConsoleEvent& event, std::ostream* out) {
  *out << event.name;
}

std::atomic<bool> g_stopAsked{false};

class StoppableOwner final : public RunOwner {
 public:
  void Progress(std::uint64_t) override {}
  bool KeepGoing() override { return !g_stopAsked.load(); }
  void Finished(const RunSummary&) override { outcome = RunOutcome::Finished; }
  void Failed(const RunFailure&) override { outcome = RunOutcome::Failed; }
  void Stopped() override { outcome = RunOutcome::Stopped; }
  RunOutcome outcome = RunOutcome::NotStarted;
};

class ConsoleEventStop : public ::testing::TestWithParam<ConsoleEvent> {};

TEST_P(ConsoleEventStop, StopsTheRunLeavingOnlyWholeCards) {
  ScratchFolder folder(L"console-event");
  const fs::path out = folder.Path() / L"out";
  fs::create_directory(out);
  WriteWholeFile(folder.Path() / L"many.vcf", Cards(20000));
  g_stopAsked = false;
  cli::StopOnConsoleEvents([] { g_stopAsked = true; });

  std::atomic<bool> unwound{false};
  RunOutcome outcome = RunOutcome::NotStarted;
  std::jthread run([&] {
    const cli::ConsoleRun running;
    StoppableOwner owner;
    SplitCards({.source = folder.Path() / L"many.vcf", .folder = out.wstring()}, owner);
    outcome = owner.outcome;
    Sleep(300);  // a slow unwind: the handler must still wait for its end
    unwound = true;
  });
  ASSERT_TRUE(driver::WaitFor([&] { return FileNames(out).size() >= 20; }, 60s)) << "the run never got going";

  bool handled = false;
  bool unwoundWhenHandled = false;
  std::jthread system([&] {
    handled = cli::OnConsoleEvent(GetParam().code);
    unwoundWhenHandled = unwound.load();
  });
  system.join();
  run.join();

  EXPECT_TRUE(handled) << "the system would end the tool at once";
  if (GetParam().waitsForTheRun) {
    EXPECT_TRUE(unwoundWhenHandled) << "the handler let the system end the tool mid-run";
  } else {
    EXPECT_FALSE(unwoundWhenHandled) << "Ctrl+C and Ctrl+Break need not hold the console";
  }
  EXPECT_EQ(outcome, RunOutcome::Stopped);
  const CardsLeft left = CheckWholeCards(out);  // no temporary file either
  EXPECT_EQ(left.fault, "");
  EXPECT_LT(left.files, 20000u) << "the run was not stopped";
}

INSTANTIATE_TEST_SUITE_P(Events, ConsoleEventStop,
                         ::testing::Values(ConsoleEvent{"CtrlC", CTRL_C_EVENT, false},
                                           ConsoleEvent{"CtrlBreak", CTRL_BREAK_EVENT, false},
                                           ConsoleEvent{"Close", CTRL_CLOSE_EVENT, true},
                                           ConsoleEvent{"Logoff", CTRL_LOGOFF_EVENT, true},
                                           ConsoleEvent{"Shutdown", CTRL_SHUTDOWN_EVENT, true}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quillmere::testing
