// The program carries exactly its icon group with the six images, the
// manifest and the version block, in the languages the system looks for, and
// nothing else: no string table, dialog, menu or bitmap, and no manifest or
// icon added by the toolchain.
#include <gtest/gtest.h>

#include <algorithm>

#include "resource_reader.h"

namespace quillmere::resources {

void PrintTo(const ResourceEntry& entry, std::ostream* out) {
  *out << driver::Narrow(entry.type) << "/" << driver::Narrow(entry.name) << "/" << entry.language;
}

namespace {

TEST(ResourceTable, HoldsOnlyTheIconImagesGroupManifestAndVersionBlock) {
  const UniqueModule program = LoadProgramResources();
  ASSERT_TRUE(program);
  std::vector<ResourceEntry> expected = {
      {L"#14", L"#1", kNeutral},    // RT_GROUP_ICON
      {L"#16", L"#1", kEnglishUs},  // RT_VERSION
      {L"#24", L"#1", kEnglishUs},  // RT_MANIFEST
  };
  for (int id = 30001; id <= 30006; ++id) expected.push_back({L"#3", L"#" + std::to_wstring(id), kNeutral});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListResources(program.get()), expected) << "the program holds other or missing resources";
}

}  // namespace
}  // namespace quillmere::resources
