// The streaming splitter against the whole-file model on real exports and on
// sources built to put line ends, marks and code units across read edges.
// The fuzzer does the same on random input; these cases run on every build,
// under the sanitizers and under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "differential.h"
#include "sample_sources.h"

namespace quillmere::testing {
namespace {

struct Plan {
  const char* name;
  ReadPlan reads;
};

// Reads of one size, and reads whose sizes keep changing so that every
// offset is an edge at some point.
std::vector<Plan> Plans() {
  auto fixed = [](std::size_t size) { return [size](std::size_t asked) { return std::min(asked, size); }; };
  auto cycling = [] {
    auto next = std::make_shared<std::size_t>(0);
    return [next](std::size_t asked) { return std::min(asked, (*next)++ % 13 + 1); };
  };
  return {{"WholeBlocks", nullptr}, {"OneByte", fixed(1)},    {"TwoBytes", fixed(2)},
          {"ThreeBytes", fixed(3)}, {"SevenBytes", fixed(7)}, {"Cycling1To13", cycling()},
          {"FourKiB", fixed(4096)}};
}

// Each plan with cards held whole, and with cards past a few bytes written
// in parts to a temporary file as a card too large to hold is.
void ExpectAgreement(const std::string& source) {
  for (const auto& plan : Plans()) {
    SCOPED_TRACE(plan.name);
    EXPECT_EQ(DifferenceFromModel(source, plan.reads), "");
    for (std::size_t hold : {1, 9}) {
      SCOPED_TRACE("cards past " + std::to_string(hold) + " bytes written in parts");
      EXPECT_EQ(DifferenceFromModel(source, plan.reads, hold), "");
    }
  }
}

TEST(ModelAgreement, RealExportsSplitAsTheModelSays) {
  const auto folder = CorpusFolder();
  if (!folder) GTEST_SKIP() << "../shared/corpus is absent; the real exports cannot be checked";
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(*folder)) {
    if (entry.path().extension() != ".vcf") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ExpectAgreement(ReadWholeFile(entry.path()));
    ++checked;
  }
  EXPECT_GT(checked, 0) << "no .vcf file in the corpus folder";
}

template <std::size_t N>
std::string Raw(const char (&bytes)[N]) {
  return std::string(bytes, N - 1);
}

struct EdgeCase {
  const char* fault;
  std::string source;
};

// Each source is built to break one thing a streaming reader can get wrong.
const std::vector<EdgeCase>& EdgeCases() {
  static const std::vector<EdgeCase> cases = {
      {"CrCrLfTakenAsTwoEnds", "BEGIN:VCARD\r\r\nN:a\r\r\n b\r\r\nEND:VCARD\r\r\n"},
      {"CrCrCrLfEndsTwoLines", "BEGIN:VCARD\r\r\r\nN:a\r\r\r\r\nEND:VCARD\r\r\r"},
      {"LoneCrAtTheVeryEnd", "BEGIN:VCARD\rEND:VCARD\r"},
      {"CrCrAtTheVeryEnd", "BEGIN:VCARD\nEND:VCARD\r\r"},
      {"LfCrIsTwoEnds", "BEGIN:VCARD\n\rEND:VCARD\n\r"},
      {"LastLineWithoutEnd", "BEGIN:VCARD\r\nN:x\r\nEND:VCARD"},
      {"BoundaryWithSpacesAndCase", "  bEgIn:VcArD  \nN: keep  \n  \n eNd:vCaRd \n"},
      {"TabStopsAMatch", "BEGIN:VCARD\t\nEND:VCARD\nBEGIN:VCARD\nEND:VCARD\t\n"},
      {"NestedCardsStayInTheHolder",
       "BEGIN:VCARD\nBEGIN:VCARD\nBEGIN:VCARD\nEND:VCARD\nEND:VCARD\nN:h\nEND:VCARD\n"},
      {"StrayEndsUseNoNumber", "END:VCARD\nEND:VCARD\nBEGIN:VCARD\nEND:VCARD\nEND:VCARD\n"},
      {"UnfinishedCardAtTheEnd", "BEGIN:VCARD\nEND:VCARD\nBEGIN:VCARD\nN:lost\n"},
      {"Utf8MarkOnly", "\xEF\xBB\xBF"},
      {"Utf8MarkThenCard",
       "\xEF\xBB\xBF"
       "BEGIN:VCARD\r\nEND:VCARD\r\n"},
      {"HalfAMark",
       "\xEF\xBB"
       "BEGIN:VCARD\nEND:VCARD\n"},
      {"Utf16MarkOnly", "\xFF\xFE"},
      {"Utf16OddLastByte", Utf16("BEGIN:VCARD\r\nEND:VCARD", ByteOrder::Little, Mark::With) + "\x41"},
      {"Utf16OddByteAfterEnd", Utf16("BEGIN:VCARD\r\nEND:VCARD\r", ByteOrder::Big, Mark::With) + "Z"},
      {"Utf16UnmarkedLittleEndian", Utf16("BEGIN:VCARD\r\nN:a\rEND:VCARD\n", ByteOrder::Little)},
      {"Utf16UnmarkedBigEndian", Utf16("BEGIN:VCARD\r\r\nN:a\nEND:VCARD\r\n", ByteOrder::Big)},
      {"Utf16UnmarkedOddLastByte", Utf16("BEGIN:VCARD\r\nEND:VCARD\r\n", ByteOrder::Big) + "\r"},
      {"Utf16UnmarkedOneUnit", std::string("\0B", 2)},
      {"NulThenHighByteIsEightBit", Raw("\0\x80\nBEGIN:VCARD\nEND:VCARD\n")},
      {"Utf16WideLettersAreNotAscii",
       std::string("\xFF\xFE", 2) + std::string("B\x01", 2) + Utf16("EGIN:VCARD\n", ByteOrder::Little)},
      {"NulAndHighBytes", Raw("BEGIN:VCARD\n\0\xFF\xFE\x80\r\nEND:VCARD\n")},
      {"EmptySource", ""},
      {"OnlyLineEnds", "\r\n\r\r\n\n\r"},
  };
  return cases;
}

class EdgeOfBlocks : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(EdgeOfBlocks, SplitsAsTheModelSays) {
  ExpectAgreement(GetParam().source);
}

INSTANTIATE_TEST_SUITE_P(Model, EdgeOfBlocks, ::testing::ValuesIn(EdgeCases()),
                         [](const auto& param) { return std::string(param.param.fault); });

// Generated sources of every kind used by the failure tests, and a long line
// outside any card that spans many blocks.
TEST(ModelAgreement, GeneratedSourcesSplitAsTheModelSays) {
  for (const auto& source : GeneratedSources()) {
    SCOPED_TRACE(source.name);
    ExpectAgreement(source.bytes);
  }
  SCOPED_TRACE("long line outside a card");
  EXPECT_EQ(DifferenceFromModel(std::string(300000, 'x') + "\r\n" + PlainCards(2), nullptr), "");
}

}  // namespace
}  // namespace quillmere::testing
