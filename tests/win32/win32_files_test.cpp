// The Win32 file layer where Windows differs from what a short, quiet path
// shows: paths past MAX_PATH, files another program holds for a moment or
// will not let go of, hidden files in the way, file identity, and the
// program's address space.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "quillmere/file_system.h"
#include "quillmere/splitter.h"
#include "quillmere/win32_paths.h"
#include "recording_owner.h"
#include "test_files.h"
#include "window_driver.h"

namespace quillmere::testing {
namespace {

using driver::Narrow;
using driver::WaitFor;
using namespace std::chrono_literals;
using win32::ExtendedLengthPath;

// The current folder for the duration of a test, then the old one again.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::wstring& folder) : old_(fs::current_path()) {
    SetCurrentDirectoryW(folder.c_str());
  }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;
  ~CurrentFolder() { SetCurrentDirectoryW(old_.c_str()); }

 private:
  fs::path old_;
};

struct PathCase {
  const char* name;
  const char* fault;  // what a wrong conversion would get wrong
  std::wstring path;
  std::wstring extended;
};

void PrintTo(const PathCase& path, std::ostream* out) {
  *out << path.name;
}

class ExtendedLength : public ::testing::TestWithParam<PathCase> {};

TEST_P(ExtendedLength, GivesTheFormTheSystemTakesAtAnyLength) {
  const CurrentFolder current(L"C:\\windows");
  EXPECT_EQ(ExtendedLengthPath(GetParam().path), GetParam().extended) << GetParam().fault;
}

const std::wstring kLongName(300, L'a');

INSTANTIATE_TEST_SUITE_P(
    Paths, ExtendedLength,
    ::testing::Values(
        PathCase{"DrivePath", "a drive path is not prefixed", L"C:\\out\\vCard1.vcf",
                 L"\\\\?\\C:\\out\\vCard1.vcf"},
        PathCase{"ForwardSlashes", "forward slashes are taken literally behind the prefix",
                 L"C:/out/sub/vCard1.vcf", L"\\\\?\\C:\\out\\sub\\vCard1.vcf"},
        PathCase{"DotParts", "\".\" and \"..\" are taken literally behind the prefix",
                 L"C:\\out\\.\\a\\..\\vCard1.vcf", L"\\\\?\\C:\\out\\vCard1.vcf"},
        PathCase{"DoubledSeparators", "doubled separators are kept", L"C:\\out\\\\vCard1.vcf",
                 L"\\\\?\\C:\\out\\vCard1.vcf"},
        PathCase{"Share", "a share is given the drive form", L"\\\\server\\share\\out\\vCard1.vcf",
                 L"\\\\?\\UNC\\server\\share\\out\\vCard1.vcf"},
        PathCase{"ShareWithSlashes", "a share written with slashes is not recognised",
                 L"//server/share/out/vCard1.vcf", L"\\\\?\\UNC\\server\\share\\out\\vCard1.vcf"},
        PathCase{"Relative", "a relative path is not made full", L"out\\vCard1.vcf",
                 L"\\\\?\\C:\\windows\\out\\vCard1.vcf"},
        PathCase{"RelativeGoingUp", "a relative path going up is not resolved", L"..\\out\\vCard1.vcf",
                 L"\\\\?\\C:\\out\\vCard1.vcf"},
        PathCase{"FromTheDrivesRoot", "a path from the drive's root is not given its drive",
                 L"\\out\\vCard1.vcf", L"\\\\?\\C:\\out\\vCard1.vcf"},
        PathCase{"AlreadyExtended", "an extended path is prefixed twice", L"\\\\?\\C:\\out\\..\\vCard1.vcf",
                 L"\\\\?\\C:\\out\\..\\vCard1.vcf"},
        PathCase{"AlreadyExtendedShare", "an extended share path is prefixed twice",
                 L"\\\\?\\UNC\\server\\share\\vCard1.vcf", L"\\\\?\\UNC\\server\\share\\vCard1.vcf"},
        PathCase{"DevicePath", "a device path is changed", L"\\\\.\\C:\\out\\vCard1.vcf",
                 L"\\\\.\\C:\\out\\vCard1.vcf"},
        PathCase{"Empty", "nothing becomes something", L"", L""},
        PathCase{"LongerThanMaxPath", "a path longer than MAX_PATH is cut or refused",
                 L"C:\\" + kLongName + L"\\vCard1.vcf", L"\\\\?\\C:\\" + kLongName + L"\\vCard1.vcf"}),
    [](const auto& param) { return std::string(param.param.name); });

// A folder whose full path is at least `length` characters, made through
// its extended form (the plain form fails on Windows past MAX_PATH).
fs::path DeepFolder(const fs::path& under, std::size_t length) {
  std::wstring path = under.wstring();
  int level = 0;
  while (path.size() < length) {
    path += L"\\level" + std::to_wstring(++level) + L"-" + std::wstring(40, L'x');
    CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr);
  }
  return path;
}

class Win32Files : public ::testing::Test {
 protected:
  fs::path Write(const std::wstring& name, const std::string& bytes) const {
    WriteWholeFile(scratch_ / name, bytes);
    return scratch_ / name;
  }
  // A split of three cards into scratch\out.
  RunOutcome SplitThree(RecordingOwner& owner) const {
    fs::create_directories(out_);
    return Split(Write(L"three.vcf", Cards(3)), out_.wstring(), owner);
  }
  RunOutcome Split(const fs::path& source, const std::wstring& folder, RecordingOwner& owner) const {
    return RecordedSplit({.source = source.wstring(), .folder = folder}, owner);
  }

  ScratchFolder folder_{L"files"};
  const fs::path scratch_ = folder_.Path(), out_ = scratch_ / L"out";
};

TEST_F(Win32Files, FolderOf300CharactersTakesEveryCard) {
  const fs::path folder = DeepFolder(scratch_, 300);
  ASSERT_GE(folder.wstring().size(), 300u);
  const fs::path source = Write(L"twelve.vcf", Cards(12));
  RecordingOwner owner;
  EXPECT_EQ(Split(source, folder.wstring(), owner), RunOutcome::Finished) << Narrow(owner.Failure().reason);
  for (int n = 1; n <= 12; ++n) {  // past vCard10, where one more character no longer fits
    EXPECT_EQ(ReadWholeFile(ExtendedLengthPath(folder.wstring() + L"\\vCard" + std::to_wstring(n) + L".vcf")),
              CardFile(n))
        << "vCard" << n;
  }
}

TEST_F(Win32Files, FileHeldFor300MillisecondsIsWrittenOnceReleased) {
  fs::create_directories(out_);
  const HeldFile held(out_ / L"vCard2.vcf", 300ms);
  ASSERT_TRUE(held.Held());
  RecordingOwner owner;
  EXPECT_EQ(SplitThree(owner), RunOutcome::Finished) << Narrow(owner.Failure().reason);
  EXPECT_EQ(ReadWholeFile(out_ / L"vCard2.vcf"), CardFile(2));
  EXPECT_EQ(ReadWholeFile(out_ / L"vCard3.vcf"), CardFile(3));
}

TEST_F(Win32Files, FileHeldLongerFailsThatFileNamingTheSharingViolation) {
  fs::create_directories(out_);
  const HeldFile held(out_ / L"vCard2.vcf", 4s);
  ASSERT_TRUE(held.Held());
  RecordingOwner owner;
  EXPECT_EQ(SplitThree(owner), RunOutcome::Failed);
  EXPECT_EQ(owner.Failure().step, FailedStep::CreateOutput);
  EXPECT_EQ(owner.Failure().saved, 1u);
  EXPECT_EQ(owner.Failure().file.filename(), L"vCard2.vcf");
  wchar_t sharing[512] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_SHARING_VIOLATION,
                 0, sharing, 512, nullptr);
  std::wstring expected = sharing;
  expected.erase(expected.find_last_not_of(L"\r\n ") + 1);
  EXPECT_NE(owner.Failure().reason.find(expected), std::wstring::npos) << Narrow(owner.Failure().reason);
  EXPECT_FALSE(fs::exists(out_ / L"vCard3.vcf"));
}

// A card over 4 MiB is written aside and renamed onto its name. A program
// holding that name open (the preview pane on an earlier run's file) makes
// the rename fail with access denied, not a sharing violation.
class LargeCardOntoHeldName : public Win32Files {
 protected:
  void SetUp() override {
    fs::create_directories(out_);
    source_ = Write(L"large.vcf", card_);
  }
  // Holds vCard1.vcf open from before the run until `after` past the moment
  // the card aside has been written whole, when its rename is due.
  RunOutcome SplitWhileHeld(std::chrono::milliseconds after, RecordingOwner& owner) {
    const win32::UniqueFile held(CreateFileW((out_ / L"vCard1.vcf").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                             nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(held);
    std::jthread release([&, handle = held.get()] {
      WaitFor([&] { return WrittenAside() >= card_.size(); }, 20s, 5ms);
      std::this_thread::sleep_for(after);
      CloseHandle(handle);
    });
    const RunOutcome outcome = Split(source_, out_.wstring(), owner);
    release.join();
    return outcome;
  }
  std::uintmax_t WrittenAside() const {
    std::uintmax_t size = 0;
    for (const auto& entry : fs::directory_iterator(out_)) {
      std::error_code gone;  // the card aside is renamed as this looks
      const std::uintmax_t bytes = entry.file_size(gone);
      if (!gone && entry.path().filename() != L"vCard1.vcf") size = std::max(size, bytes);
    }
    return size;
  }

  const std::string card_ = "BEGIN:VCARD\r\nNOTE:" + std::string(5 << 20, 'x') + "\r\nEND:VCARD\r\n";
  fs::path source_;
};

TEST_F(LargeCardOntoHeldName, HeldFor300MillisecondsIsTakenOnceReleased) {
  RecordingOwner owner;
  EXPECT_EQ(SplitWhileHeld(300ms, owner), RunOutcome::Finished) << Narrow(owner.Failure().reason);
  EXPECT_EQ(ReadWholeFile(out_ / L"vCard1.vcf"), "\r\n" + card_);
  EXPECT_EQ(FileNames(out_), std::vector<std::wstring>{L"vCard1.vcf"}) << "the card aside was left";
}

TEST_F(LargeCardOntoHeldName, HeldLongerFailsNamingTheCardAndLeavesNoCardAside) {
  RecordingOwner owner;
  EXPECT_EQ(SplitWhileHeld(4s, owner), RunOutcome::Failed);
  EXPECT_EQ(owner.Failure().step, FailedStep::CreateOutput);
  EXPECT_EQ(owner.Failure().file.filename(), L"vCard1.vcf");
  EXPECT_EQ(FileNames(out_), std::vector<std::wstring>{L"vCard1.vcf"}) << "the card aside was left";
  EXPECT_EQ(ReadWholeFile(out_ / L"vCard1.vcf"), "") << "the held file was changed";
}

struct InTheWay {
  const char* name;
  DWORD attributes;
  const wchar_t* said;
};

void PrintTo(const InTheWay& file, std::ostream* out) {
  *out << file.name;
}

class FileInTheWay : public Win32Files, public ::testing::WithParamInterface<InTheWay> {};

TEST_P(FileInTheWay, GivesAccessDeniedSayingWhy) {
  fs::create_directories(out_);
  const fs::path blocker = Write(L"out\\vCard2.vcf", "not a card"), probe = Write(L"probe", "probe");
  ASSERT_TRUE(SetFileAttributesW(blocker.c_str(), GetParam().attributes));
  // The system refuses to replace such a file with a normal one; Wine may not.
  SetFileAttributesW(probe.c_str(), GetParam().attributes);
  const win32::UniqueFile replaced(
      CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const bool refused = !replaced;
  SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
  RecordingOwner owner;
  const RunOutcome outcome = SplitThree(owner);
  SetFileAttributesW(blocker.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!refused) GTEST_SKIP() << "this system replaces a " << GetParam().name << " file like any other";

  ASSERT_EQ(outcome, RunOutcome::Failed);
  EXPECT_EQ(owner.Failure().step, FailedStep::CreateOutput);
  EXPECT_EQ(owner.Failure().saved, 1u);
  EXPECT_NE(owner.Failure().reason.find(GetParam().said), std::wstring::npos)
      << Narrow(owner.Failure().reason);
  EXPECT_EQ(ReadWholeFile(blocker), "not a card") << "the file in the way was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, FileInTheWay,
    ::testing::Values(InTheWay{"hidden", FILE_ATTRIBUTE_HIDDEN, L"hidden or system file"},
                      InTheWay{"system", FILE_ATTRIBUTE_SYSTEM, L"hidden or system file"},
                      InTheWay{"readonly", FILE_ATTRIBUTE_READONLY, L"read-only file"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Win32Files, IdentityFollowsTheFileNotThePathText) {
  const fs::path one = Write(L"one.vcf", "1");
  const fs::path two = Write(L"two.vcf", "2");
  const fs::path link = scratch_ / L"link.vcf";
  ASSERT_TRUE(CreateHardLinkW(link.c_str(), one.c_str(), nullptr));
  FileSystem& files = SystemFiles();
  const auto id = files.IdOf(one);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(files.IdOf(link), id) << "a hard link is another file";
  EXPECT_NE(files.IdOf(two), id) << "two files are one";
  std::wstring slashed = (scratch_ / L"sub" / L".." / L"one.vcf").wstring();
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  EXPECT_EQ(files.IdOf(slashed), id) << "a path written another way is another file";
  EXPECT_FALSE(files.IdOf(scratch_ / L"none.vcf").has_value());
}

// Both programs: 4 GB of address space on 64-bit Windows, not 2.
class ProgramImage : public ::testing::TestWithParam<const char*> {};

TEST_P(ProgramImage, IsLargeAddressAware) {
  const std::string exe = ReadBytes(driver::WindowsPath(GetParam())).value_or("");
  ASSERT_GE(exe.size(), sizeof(IMAGE_DOS_HEADER)) << GetParam();
  IMAGE_DOS_HEADER dos{};
  std::memcpy(&dos, exe.data(), sizeof dos);
  ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
  IMAGE_NT_HEADERS32 nt{};
  ASSERT_GE(exe.size(), static_cast<std::size_t>(dos.e_lfanew) + sizeof nt);
  std::memcpy(&nt, exe.data() + dos.e_lfanew, sizeof nt);
  ASSERT_EQ(nt.Signature, IMAGE_NT_SIGNATURE);
  EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_NE(nt.FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, 0)
      << "held to 2 GB even on 64-bit Windows";
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramImage, ::testing::Values(QUILLMERE_PROGRAM, QUILLMERE_SPLIT),
                         [](const auto& param) {
                           return std::string(param.index == 0 ? "Window" : "CommandLineTool");
                         });

}  // namespace
}  // namespace quillmere::testing
