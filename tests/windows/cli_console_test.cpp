// quillmere-split.exe shows any name as it is in a console, and writes UTF-8
// where its output is redirected. A console reads bytes in its own code
// page, so UTF-8 written to it garbles every name outside ASCII; the tool
// must give the console UTF-16 instead.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "program_files.h"
#include "remote_driver.h"

namespace quillmere::program_tests {
namespace {

using namespace std::chrono_literals;

const std::wstring kName =
    L"\u041A\u043E\u043D\u0442\u0430\u043A\u0442\u044B \u5C71\u7530.vcf";  // Контакты 山田

std::wstring Tool() {
  return remote::WindowsPath(QUILLMERE_SPLIT);
}

// Runs the tool on a source that does not exist, so that its one line on
// standard error names kName; returns its exit code.
DWORD RunTool(const std::filesystem::path& folder, STARTUPINFOW& startup, BOOL inheritHandles) {
  std::wstring commandLine = L"\"" + Tool() + L"\" \"" + kName + L"\" out";
  PROCESS_INFORMATION process{};
  EXPECT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, 0, nullptr,
                               folder.c_str(), &startup, &process));
  ::WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

TEST(ToolConsole, ShowsANameOutsideAsciiAsItIs) {
  ScratchFolder folder(L"console");
  ::FreeConsole();
  if (!::AllocConsole()) GTEST_SKIP() << "no console can be made here (" << ::GetLastError() << ")";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  EXPECT_EQ(RunTool(folder.Path(), startup, FALSE), 1u);

  const HANDLE screen = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(screen, INVALID_HANDLE_VALUE);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(::GetConsoleScreenBufferInfo(screen, &info));
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwCursorPosition.Y + 1);
  std::wstring shown(cells, L' ');
  DWORD read = 0;
  ASSERT_TRUE(::ReadConsoleOutputCharacterW(screen, shown.data(), cells, COORD{0, 0}, &read));
  shown.resize(read);
  ::CloseHandle(screen);
  ::FreeConsole();
  EXPECT_NE(shown.find(L"cannot open '" + kName + L"'"), std::wstring::npos)
      << "the console shows: " << remote::Narrow(shown);
}

TEST(ToolConsole, RedirectedOutputIsUtf8) {
  ScratchFolder folder(L"redirected");
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  const auto errFile = folder.Path() / L"stderr.txt";
  const HANDLE err = ::CreateFileW(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(err, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = err;
  startup.hStdError = err;
  EXPECT_EQ(RunTool(folder.Path(), startup, TRUE), 1u);
  ::CloseHandle(err);
  const auto bytes = ReadBytes(errFile).value_or("");
  const std::string utf8Name =
      "\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x82\xD0\xB0\xD0\xBA\xD1\x82\xD1\x8B \xE5\xB1\xB1\xE7\x94\xB0.vcf";
  EXPECT_NE(bytes.find("cannot open '" + utf8Name + "'"), std::string::npos) << bytes;
}

// "-" reads standard input, whether the shell hands over a file or a pipe
// (whose end Windows reports as a broken pipe, not as the end of a file).
TEST(ToolStandardInput, SplitsWhatAFileOrAPipeHandsOver) {
  const std::string cards = "BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n";
  for (const bool piped : {false, true}) {
    ScratchFolder folder(piped ? L"stdin-pipe" : L"stdin-file");
    std::filesystem::create_directory(folder.Path() / L"out");
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    HANDLE input = nullptr, writer = nullptr;
    if (piped) {
      ASSERT_TRUE(::CreatePipe(&input, &writer, &inherit, 0));
      ::SetHandleInformation(writer, HANDLE_FLAG_INHERIT, 0);
    } else {
      WriteBytes(folder.Path() / L"in.vcf", cards);
      input = ::CreateFileW((folder.Path() / L"in.vcf").c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                            OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(input, INVALID_HANDLE_VALUE);
    }
    const auto outFile = folder.Path() / L"stdout.txt";
    const HANDLE out = ::CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out;
    startup.hStdError = out;
    std::wstring commandLine = L"\"" + Tool() + L"\" - out";
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 folder.Path().c_str(), &startup, &process));
    ::CloseHandle(input);
    ::CloseHandle(out);
    if (piped) {
      DWORD written = 0;
      EXPECT_TRUE(::WriteFile(writer, cards.data(), static_cast<DWORD>(cards.size()), &written, nullptr));
      ::CloseHandle(writer);
    }
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u) << (piped ? "pipe: " : "file: ") << ReadBytes(outFile).value_or("");
    EXPECT_EQ(ReadBytes(folder.Path() / L"out" / L"vCard2.vcf").value_or(""),
              "\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n")
        << (piped ? "pipe" : "file");
  }
}

}  // namespace
}  // namespace quillmere::program_tests
