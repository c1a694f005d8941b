// The shape reader behind --check against the scanner a split runs: every
// field of the statistics and the card count must be the same, for every
// way of reading this processor has and however the source is cut into
// parts for threads.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "shape_agreement.h"
#include "test_support.h"

namespace quillmere::test {
namespace {

namespace fs = std::filesystem;
using testing::ShapeDifference;

const fs::path kCorpus = QUILLMERE_CORPUS_DIR;

void ExpectAgreement(const std::string& source) {
  for (std::size_t threads : {1, 2, 3, 5, 16}) EXPECT_EQ(ShapeDifference(source, threads), "");
}

struct Case {
  const char* name;
  std::string source;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& tested) {
  return tested.param.name;
}

class ShapeAgreement : public ::testing::TestWithParam<Case> {};

TEST_P(ShapeAgreement, SameStatisticsAndCardsAsTheScanner) {
  ExpectAgreement(GetParam().source);
}

const std::string kCard = "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n";

INSTANTIATE_TEST_SUITE_P(LineEnds, ShapeAgreement,
                         ::testing::Values(Case{"CrLf", kCard + kCard},
                                           Case{"Lf", "BEGIN:VCARD\nFN:A\nEND:VCARD\n"},
                                           Case{"LoneCr", "BEGIN:VCARD\rFN:A\rEND:VCARD\r"},
                                           Case{"CrCrLf", "BEGIN:VCARD\r\r\nFN:A\r\r\nEND:VCARD\r\r\n"},
                                           Case{"ThreeCrsThenLf", "BEGIN:VCARD\r\r\r\nEND:VCARD"},
                                           Case{"LfThenCr", "BEGIN:VCARD\n\rFN:A\n\rEND:VCARD\n\r"},
                                           Case{"TwoCrsAtTheEnd", "BEGIN:VCARD\nEND:VCARD\r\r"},
                                           Case{"NoFinalLineEnd", "BEGIN:VCARD\r\nEND:VCARD"},
                                           Case{"OnlyLineEnds", "\r\n\n\r\r\r\n\r"}, Case{"Empty", ""}),
                         CaseName);

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ShapeAgreement,
    ::testing::Values(
        Case{"SpacesAroundWords", "  BEGIN:VCARD   \r\nN:x\r\n END:VCARD \r\n"},
        Case{"AnyLetterCase", "begin:vcard\nEnd:VCard\n"},
        Case{"TabIsNotASpace", "\tBEGIN:VCARD\nBEGIN:VCARD\t\nEND:VCARD\n"},
        Case{"ControlByteFoldsLikeAColon", "BEGIN\x1AVCARD\nBEGIN:VCARD\nEND\x1AVCARD\nEND:VCARD\n"},
        Case{"OneLetterWrong",
             "BEGIN:VCARD\nBEXIN:VCARD\nBEGIN:VCARX\nEND:VCARD\nENX:VCARD\nEND:VXARD\nEND:VCARD\n"},
        Case{"LongerWords", "BEGIN:VCARDS\nBEGIN:VCARD\nEND:VCARDX\nEMAIL:e\nEND:VCARD\n"},
        Case{"WordCutByTheEnd", "BEGIN:VCARD\nEND:VCAR"}, Case{"WordAtTheVeryEnd", "BEGIN:VCARD\nEND:VCARD"},
        Case{"LeadingSpacesCrossABlock", "BEGIN:VCARD\n" + std::string(150, ' ') + "END:VCARD\n"},
        Case{"TrailingSpacesToTheEnd", "BEGIN:VCARD\nEND:VCARD" + std::string(100, ' ')},
        Case{"EmptyLinesInAndOutside", "\n\nBEGIN:VCARD\n\nN:x\n\nEND:VCARD\n\n"},
        Case{"NulsAndHighBytes", std::string("BEGIN:VCARD\nN:\0\xff\xe2\n\0END:VCARD\nEND:VCARD\n", 36)}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Cards, ShapeAgreement,
    ::testing::Values(
        Case{"Nested", "BEGIN:VCARD\nAGENT:\nBEGIN:VCARD\nBEGIN:VCARD\nEND:VCARD\nEND:VCARD\nEND:VCARD\n"},
        Case{"StrayEndsMoreThanKept", "END:VCARD\nx\n" + kCard + "END:VCARD\nEND:VCARD\n" + kCard +
                                          "end:vcard\nEND:VCARD\nEND:VCARD\nEND:VCARD\n"},
        Case{"UnfinishedLastCard", kCard + "x\nBEGIN:VCARD\nN:y\n"},
        Case{"UnfinishedNestedCard", "BEGIN:VCARD\nBEGIN:VCARD\nEND:VCARD\n"},
        Case{"LargestCardIsTheFirstOfEqualOnes", kCard + "BEGIN:VCARD\nFN:BB\nEND:VCARD\n" + kCard},
        Case{"NoCardAtAll", "hello\r\nworld"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Marks, ShapeAgreement,
    ::testing::Values(Case{"Utf8Mark", "\xEF\xBB\xBF" + kCard + kCard}, Case{"MarkAlone", "\xEF\xBB\xBF"},
                      Case{"MarkThenSpacedBoundary", "\xEF\xBB\xBF  BEGIN:VCARD\nEND:VCARD\n"},
                      Case{"HalfAMark", "\xEF\xBB"},
                      Case{"MarkLaterIsContent", kCard + "\xEF\xBB\xBF" + kCard},
                      Case{"Utf16LeWithMark", std::string("\xFF\xFE"
                                                          "B\0\n\0",
                                                          6)},
                      Case{"Utf16BeWithoutMark", std::string("\0B\0\n", 4)}),
    CaseName);

// Every line end kind, a run of spaces and a boundary word put at every
// offset around the edge between two 64-byte blocks, with and without a
// mark moving everything by three bytes.
TEST(ShapeAgreementAcrossBlocks, LineEndsSpacesAndWordsAtEveryOffsetOfABlockEdge) {
  for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
    for (const std::string end : {"\r\n", "\n", "\r", "\r\r\n"}) {
      for (std::size_t pad = 50; pad < 80; ++pad) {
        SCOPED_TRACE("pad " + std::to_string(pad) + ", line end " + std::to_string(end.size()) + " bytes" +
                     (mark.empty() ? "" : ", mark"));
        ExpectAgreement(mark + std::string(pad, 'x') + end + "BEGIN:VCARD" + end + std::string(pad % 7, ' ') +
                        "N:x" + end + "  END:VCARD" + end + "EMAIL" + end + std::string(pad, ' ') +
                        "END:VCARD");
      }
    }
  }
}

// The parts are cut just before a BEGIN:VCARD line, which is outside any
// card but here is not: the part after it must be read again as part of
// the card.
TEST(ShapeAgreementAcrossParts, CardThatRunsOverTheCutIsReadAgainWhole) {
  std::string source = "BEGIN:VCARD\nAGENT:\n";
  for (int i = 0; i < 40; ++i) {
    source += "BEGIN:VCARD\nN:";
    source += std::to_string(i);
    source += "\nEND:VCARD\n";
  }
  ExpectAgreement(source + "END:VCARD\n" + kCard);
  ExpectAgreement(source);                                                      // the holder never ends
  ExpectAgreement("BEGIN:VCARD\n" + std::string(5000, 'x') + "\nEND:VCARD\n");  // no BEGIN to cut at
}

// Lines drawn from boundary words with and without spaces, near misses and
// plain content, joined by random line ends (now and then a lone CR or LF
// inside a line), so nesting, strays and unfinished cards come in every mix.
TEST(ShapeAgreementRandom, GeneratedSourcesAgreeWhateverTheMix) {
  const std::string lines[] = {"BEGIN:VCARD",
                               "END:VCARD",
                               "  begin:vcard ",
                               "End:VCard   ",
                               "EMAIL:x",
                               "BEGIN:VCAR",
                               "ENDx",
                               "b",
                               "e",
                               "",
                               "   ",
                               "N:x",
                               std::string(70, 'y'),
                               " EMAIL",
                               std::string("\0E", 2)};
  const std::string ends[] = {"\r\n", "\n", "\r", "\r\r\n"};
  std::mt19937 random(20261207);
  for (int round = 0; round < 400; ++round) {
    std::string source = round % 5 == 0 ? "\xEF\xBB\xBF" : "";
    const int count = static_cast<int>(random() % 120);
    for (int i = 0; i < count; ++i) {
      source += lines[random() % std::size(lines)];
      if (random() % 4 != 0) source += ends[random() % std::size(ends)];
    }
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(ShapeDifference(source, 1 + random() % 6), "");
  }
}

// What --check meets on a large source: parts read on several threads at
// once, many cards long each.
TEST(ShapeAgreementRandom, LargeSourceReadOnSeveralThreads) {
  std::string source;
  for (int i = 0; source.size() < (std::size_t{5} << 19); ++i)
    source += "BEGIN:VCARD\r\nN:" + std::string(static_cast<std::size_t>(i % 300), 'n') + "\r\n" +
              (i % 97 == 0 ? "AGENT:\r\nBEGIN:VCARD\r\nEND:VCARD\r\n" : "") + "END:VCARD\r\n";
  for (std::size_t threads : {1, 2, 4, 8}) EXPECT_EQ(ShapeDifference(source, threads), "");
}

TEST(ShapeAgreementCorpus, EveryRealExport) {
  if (!fs::exists(kCorpus / "SOURCES.md"))
    GTEST_SKIP() << "no corpus at " << kCorpus << " (../shared absent)";
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".vcf") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string source = ReadWholeFile(entry.path());
    for (std::size_t threads : {1, 3}) EXPECT_EQ(ShapeDifference(source, threads), "");
    ++checked;
  }
  EXPECT_GE(checked, 50);
}

}  // namespace
}  // namespace quillmere::test
