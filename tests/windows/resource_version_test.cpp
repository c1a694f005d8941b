// The version block as Explorer's Details tab and other programs read it,
// through VerQueryValueW: the strings, the fixed part and the translation.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "quillmere_version.h"
#include "resource_reader.h"

namespace quillmere::resources {
namespace {

// The texts the program shows for its version, worked out from the version
// numbers: the minor number with two digits, the last two parts left out.
std::wstring VersionText() {
  const int minor = QUILLMERE_VERSION_MINOR;
  return std::to_wstring(QUILLMERE_VERSION_MAJOR) + L"." + (minor < 10 ? L"0" : L"") + std::to_wstring(minor);
}

std::wstring ExeName() {
  return L"Quillmere" + std::to_wstring(QUILLMERE_VERSION_MAJOR) + L"." +
         std::to_wstring(QUILLMERE_VERSION_MINOR);
}

// Key and value, in the order they stand in the string table.
std::vector<std::pair<std::wstring, std::wstring>> ExpectedStrings() {
  return {{L"CompanyName", L"Tarnwell Inc."},
          {L"FileDescription", L"Split Multiple vCard File"},
          {L"ProductName", L"Quillmere"},
          {L"FileVersion", VersionText()},
          {L"ProductVersion", VersionText()},
          {L"InternalName", ExeName()},
          {L"OriginalFilename", ExeName() + L".exe"}};
}

// GetFileVersionInfoW's copy of the block.
Bytes SystemVersionInfo(const std::wstring& file = ProgramPath()) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  Bytes info(size);
  if (size == 0 || !::GetFileVersionInfoW(file.c_str(), 0, size, info.data())) return {};
  return info;
}

// A string of the US English table as VerQueryValueW gives it; nullopt
// when there is none.
std::optional<std::wstring> VersionString(const Bytes& info, const std::wstring& key) {
  void* text = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(info.data(), (L"\\StringFileInfo\\040904B0\\" + key).c_str(), &text, &length)) {
    return std::nullopt;
  }
  return std::wstring(static_cast<const wchar_t*>(text));
}

// What Explorer's Details tab and other programs see.
TEST(VersionInfo, SystemReadsEveryStringOfTheTable) {
  const Bytes info = SystemVersionInfo();
  ASSERT_FALSE(info.empty()) << "GetFileVersionInfoW found no version block";
  for (const auto& [key, value] : ExpectedStrings()) {
    void* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(
        ::VerQueryValueW(info.data(), (L"\\StringFileInfo\\040904B0\\" + key).c_str(), &text, &length))
        << driver::Narrow(key);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(text)), value) << driver::Narrow(key);
    EXPECT_EQ(length, value.size() + 1) << driver::Narrow(key) << ": padding or a doubled terminator";
  }
}

TEST(VersionInfo, SystemReadsTheFixedVersionAndTranslation) {
  const Bytes info = SystemVersionInfo();
  ASSERT_FALSE(info.empty()) << "GetFileVersionInfoW found no version block";
  void* data = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", &data, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
  const DWORD high = MAKELONG(QUILLMERE_VERSION_MINOR, QUILLMERE_VERSION_MAJOR);
  const DWORD low = MAKELONG(QUILLMERE_VERSION_TWEAK, QUILLMERE_VERSION_PATCH);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwStrucVersion, 0x00010000u) << "structure version 1.0";
  for (DWORD zero : {fixed->dwFileFlagsMask, fixed->dwFileFlags, fixed->dwFileSubtype, fixed->dwFileDateMS,
                     fixed->dwFileDateLS}) {
    EXPECT_EQ(zero, 0u) << "flags, subtype and date are all 0";
  }
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &data, &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(*static_cast<const DWORD*>(data), MAKELONG(0x0409, 1200));
}

// The version texts follow the one version number of the build.
TEST(VersionInfo, TextsFollowTheBuildVersion) {
  EXPECT_EQ(VersionText(), L"" QUILLMERE_VERSION_TEXT);
  EXPECT_EQ(ExeName(), L"" QUILLMERE_EXE_NAME);
  const std::wstring path = ProgramPath();
  EXPECT_EQ(path.substr(path.find_last_of(L'\\') + 1), ExeName() + L".exe")
      << "OriginalFilename does not name the file as built";
}

// quillmere-split.exe shows Windows a description of its own and the
// program's versions, so Explorer and an installer tell the two apart but
// never see two versions of one release.
TEST(VersionInfo, ToolHasItsOwnDescriptionAndTheProgramsVersions) {
  const Bytes tool = SystemVersionInfo(driver::WindowsPath(QUILLMERE_SPLIT));
  const Bytes program = SystemVersionInfo();
  ASSERT_FALSE(tool.empty()) << "quillmere-split.exe has no version block";
  const auto description = VersionString(tool, L"FileDescription");
  ASSERT_TRUE(description.has_value());
  EXPECT_NE(description, VersionString(program, L"FileDescription"));
  EXPECT_EQ(VersionString(tool, L"OriginalFilename"), L"quillmere-split.exe");
  for (const wchar_t* same : {L"FileVersion", L"ProductVersion", L"ProductName", L"CompanyName"}) {
    EXPECT_EQ(VersionString(tool, same), VersionString(program, same)) << driver::Narrow(same);
  }
  void* data = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(tool.data(), L"\\", &data, &length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(QUILLMERE_VERSION_MINOR, QUILLMERE_VERSION_MAJOR));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

}  // namespace
}  // namespace quillmere::resources
