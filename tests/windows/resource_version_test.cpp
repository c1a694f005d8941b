// The version block as the system and other tools read it: the strings
// through VerQueryValueW, the fixed part, the translation, and the order of
// the block's children in its bytes (VarFileInfo first, then the one string
// table with its strings in their order).
#include <gtest/gtest.h>

#include <cstring>
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

// One node of the block: key, value and children, as stored.
struct Node {
  std::uint16_t length = 0, valueLength = 0, type = 0;  // type 1: text, 0: binary
  std::wstring key;
  Bytes value;
  std::vector<Node> children;

  std::vector<std::wstring> Keys() const {
    std::vector<std::wstring> keys;
    for (const Node& child : children) keys.push_back(child.key);
    return keys;
  }
  std::wstring Text() const {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < value.size(); i += 2) text += static_cast<wchar_t>(Word(value, i));
    return text;
  }
};

std::size_t Align4(std::size_t offset) {
  return (offset + 3) & ~std::size_t{3};
}

// Reads the node at offset; nullopt when the bytes do not hold a valid one.
std::optional<Node> ReadNode(const Bytes& bytes, std::size_t offset) {
  Node node{Word(bytes, offset), Word(bytes, offset + 2), Word(bytes, offset + 4), {}, {}, {}};
  const std::size_t end = offset + node.length;
  if (node.length < 6 || end > bytes.size()) return std::nullopt;
  std::size_t at = offset + 6;
  for (; at + 1 < end && Word(bytes, at) != 0; at += 2) node.key += static_cast<wchar_t>(Word(bytes, at));
  at = Align4(at + 2);
  const std::size_t valueBytes = node.type == 1 ? node.valueLength * 2u : node.valueLength;
  if (at + valueBytes > end) return std::nullopt;
  node.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    bytes.begin() + static_cast<std::ptrdiff_t>(at + valueBytes));
  for (at = Align4(at + valueBytes); at < end;) {
    auto child = ReadNode(bytes, at);
    if (!child) return std::nullopt;
    at = Align4(at + child->length);
    node.children.push_back(std::move(*child));
  }
  return node;
}

class VersionBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = LoadProgramResources();
    ASSERT_TRUE(program_);
    const Bytes raw = ResourceBytes(program_.get(), RT_VERSION, 1, kEnglishUs);
    ASSERT_FALSE(raw.empty()) << "no version block in US English";
    auto root = ReadNode(raw, 0);
    ASSERT_TRUE(root) << "the version block's lengths do not add up";
    root_ = std::move(*root);
  }
  UniqueModule program_;
  Node root_;
};

TEST_F(VersionBlock, VarFileInfoComesBeforeStringFileInfo) {
  EXPECT_EQ(root_.key, L"VS_VERSION_INFO");
  EXPECT_EQ(root_.Keys(), (std::vector<std::wstring>{L"VarFileInfo", L"StringFileInfo"}));
}

TEST_F(VersionBlock, HoldsOneTranslationUsEnglishUnicode) {
  ASSERT_EQ(root_.children.size(), 2u);
  ASSERT_EQ(root_.children[0].Keys(), std::vector<std::wstring>{L"Translation"});
  const Node& translation = root_.children[0].children[0];
  EXPECT_EQ(translation.type, 0) << "the translation is binary, not text";
  ASSERT_EQ(translation.value.size(), 4u) << "more or fewer than one language";
  EXPECT_EQ(Word(translation.value, 0), 0x0409);
  EXPECT_EQ(Word(translation.value, 2), 1200);
}

TEST_F(VersionBlock, StringsStandInTheirOrderInOneUsEnglishUnicodeTable) {
  ASSERT_EQ(root_.children.size(), 2u);
  ASSERT_EQ(root_.children[1].Keys(), std::vector<std::wstring>{L"040904B0"});
  std::vector<std::wstring> expectedKeys;
  for (const auto& [key, value] : ExpectedStrings()) expectedKeys.push_back(key);
  EXPECT_EQ(root_.children[1].children[0].Keys(), expectedKeys);
}

// Each value is its text and one terminating NUL: no padding, no doubled
// terminator, nothing a tool would show after the text.
TEST_F(VersionBlock, StringValuesHoldExactlyTheirText) {
  ASSERT_EQ(root_.children.size(), 2u);
  ASSERT_EQ(root_.children[1].children.size(), 1u);
  const Node& table = root_.children[1].children[0];
  const auto expected = ExpectedStrings();
  ASSERT_EQ(table.children.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string key = driver::Narrow(expected[i].first);
    EXPECT_EQ(table.children[i].type, 1) << key << " is not stored as text";
    EXPECT_EQ(table.children[i].Text(), expected[i].second + L'\0') << key;
  }
}

TEST_F(VersionBlock, FixedPartCarriesTheVersionForAnApplication) {
  ASSERT_EQ(root_.value.size(), sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, root_.value.data(), sizeof fixed);
  const DWORD high = MAKELONG(QUILLMERE_VERSION_MINOR, QUILLMERE_VERSION_MAJOR);
  const DWORD low = MAKELONG(QUILLMERE_VERSION_TWEAK, QUILLMERE_VERSION_PATCH);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwStrucVersion, 0x00010000u) << "structure version 1.0";
  EXPECT_EQ(fixed.dwFileVersionMS, high);
  EXPECT_EQ(fixed.dwFileVersionLS, low);
  EXPECT_EQ(fixed.dwProductVersionMS, high);
  EXPECT_EQ(fixed.dwProductVersionLS, low);
  EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
  for (DWORD zero : {fixed.dwFileFlagsMask, fixed.dwFileFlags, fixed.dwFileSubtype, fixed.dwFileDateMS,
                     fixed.dwFileDateLS}) {
    EXPECT_EQ(zero, 0u) << "flags, subtype and date are all 0";
  }
}

// What Explorer's Details tab and other programs see.
TEST(VersionInfo, SystemReadsEveryStringOfTheTable) {
  const Bytes info = SystemVersionInfo();
  ASSERT_FALSE(info.empty()) << "GetFileVersionInfoW found no version block";
  for (const auto& [key, value] : ExpectedStrings()) {
    EXPECT_EQ(VersionString(info, key), value) << driver::Narrow(key);
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
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), QUILLMERE_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), QUILLMERE_VERSION_MINOR);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
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
