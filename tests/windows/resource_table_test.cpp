// The program carries exactly its icon group with the six images, the
// manifest and the version block, in the languages the system looks for, and
// nothing else: no string table, dialog, menu or bitmap, and no manifest or
// icon added by the toolchain.
#include <gtest/gtest.h>

#include <algorithm>

#include "resource_reader.h"

namespace quillmere::resources {
namespace {

constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

TEST(ResourceTable, HoldsOnlyTheIconImagesGroupManifestAndVersionBlock) {
  const UniqueModule program = LoadProgramResources();
  ASSERT_TRUE(program);
  const std::vector<ResourceEntry> expected = {
      {L"#14", L"#1", kNeutral},     // RT_GROUP_ICON
      {L"#16", L"#1", kEnglishUs},   // RT_VERSION
      {L"#24", L"#1", kEnglishUs},   // RT_MANIFEST
      {L"#3", L"#30001", kNeutral},  // RT_ICON ...
      {L"#3", L"#30002", kNeutral}, {L"#3", L"#30003", kNeutral}, {L"#3", L"#30004", kNeutral},
      {L"#3", L"#30005", kNeutral}, {L"#3", L"#30006", kNeutral},
  };
  std::vector<ResourceEntry> sorted = expected;
  std::sort(sorted.begin(), sorted.end());
  const std::vector<ResourceEntry> actual = ListResources(program.get());
  ASSERT_EQ(actual.size(), sorted.size()) << "the program holds other or missing resources";
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    EXPECT_EQ(actual[i].type, sorted[i].type) << "resource " << i;
    EXPECT_EQ(actual[i].name, sorted[i].name) << "resource " << i;
    EXPECT_EQ(actual[i].language, sorted[i].language) << "resource " << i;
  }
}

}  // namespace
}  // namespace quillmere::resources
