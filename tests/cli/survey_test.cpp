// The survey behind --check and the run's warnings must read a source as the
// splitter does. It is checked against the tests' whole-file model (cards,
// their sizes, lines, the unfinished card) on generated and real sources,
// fed in blocks of every awkward size, and on its own facts (line-end kinds,
// stray END lines, nesting) on sources built for one fault each.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "card_model.h"
#include "check.h"
#include "sample_sources.h"
#include "source_survey.h"

namespace {

using quillmere::cli::SourceFacts;
using quillmere::cli::SourceSurvey;

SourceFacts Survey(const std::string& source, std::size_t block) {
  SourceSurvey survey;
  const auto* bytes = reinterpret_cast<const std::byte*>(source.data());
  for (std::size_t at = 0; at < source.size(); at += block) {
    survey.Feed({bytes + at, std::min(block, source.size() - at)});
  }
  return survey.Finish();
}

void ExpectAgreesWithTheModel(const std::string& name, const std::string& source) {
  const auto expected = quillmere::model::SplitWholeFile(source);
  std::uint64_t largest = 0, largestBytes = 0;
  for (std::size_t i = 0; i < expected.cards.size(); ++i) {
    if (expected.cards[i].size() > largestBytes) largest = i + 1, largestBytes = expected.cards[i].size();
  }
  for (const std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                  std::size_t{4096}, source.size() + 1}) {
    const auto facts = Survey(source, block);
    const std::string where = name + ", blocks of " + std::to_string(block);
    EXPECT_EQ(facts.cards, expected.cards.size()) << where;
    EXPECT_EQ(facts.lines, expected.progress.size()) << where;
    EXPECT_EQ(facts.unfinishedCardLine != 0, expected.unfinishedLastCard) << where;
    EXPECT_EQ(facts.largestCard, largest) << where;
    EXPECT_EQ(facts.largestCardBytes, largestBytes) << where;
    EXPECT_EQ(facts.bytes, source.size()) << where;
  }
}

TEST(SurveyAgreesWithTheSplit, OnGeneratedSources) {
  for (const auto& sample : quillmere::testing::GeneratedSources()) {
    ExpectAgreesWithTheModel(sample.name, sample.bytes);
  }
}

TEST(SurveyAgreesWithTheSplit, OnEveryRealExport) {
  const auto folder = quillmere::testing::CorpusFolder();
  if (!folder) GTEST_SKIP() << "no corpus folder (../shared/corpus): real exports not checked";
  for (const auto& entry : std::filesystem::directory_iterator(*folder)) {
    if (entry.path().extension() != ".vcf") continue;
    ExpectAgreesWithTheModel(entry.path().filename().string(),
                             quillmere::testing::ReadWholeFile(entry.path()));
  }
}

struct Case {
  const char* fault;
  std::string source;
  std::uint64_t crLf, lf, cr, crCrLf;
  std::uint64_t lines, deepest, outside;
};

// Line ends are counted once each, by the kind the splitter took them as.
class LineEndsByKind : public ::testing::TestWithParam<Case> {};

TEST_P(LineEndsByKind, AreCountedOnceEachAsTheSplitterReadsThem) {
  const Case& c = GetParam();
  for (const std::size_t block : {std::size_t{1}, std::size_t{2}, c.source.size() + 1}) {
    const auto f = Survey(c.source, block);
    EXPECT_EQ(f.crLf, c.crLf) << block;
    EXPECT_EQ(f.lf, c.lf) << block;
    EXPECT_EQ(f.cr, c.cr) << block;
    EXPECT_EQ(f.crCrLf, c.crCrLf) << block;
    EXPECT_EQ(f.lines, c.lines) << block;
    EXPECT_EQ(f.deepestNesting, c.deepest) << block;
    EXPECT_EQ(f.linesOutsideCards, c.outside) << block;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Survey, LineEndsByKind,
    ::testing::Values(Case{"CrCrLfIsOneEnd", "BEGIN:VCARD\r\r\nEND:VCARD\r\r\n", 0, 0, 0, 2, 2, 1, 0},
                      Case{"CrCrCrLfIsALoneCrThenCrCrLf", "x\r\r\r\n", 0, 0, 1, 1, 2, 0, 2},
                      Case{"LfCrIsTwoEnds", "a\n\rb", 0, 1, 1, 0, 3, 0, 3},
                      Case{"CrCrAtTheVeryEndIsTwoLoneCrs", "a\r\r", 0, 0, 2, 0, 2, 0, 2},
                      Case{"MixedEnds", "BEGIN:VCARD\r\nN:a\nBEGIN:VCARD\rEND:VCARD\nEND:VCARD", 1, 2, 1, 0,
                           5, 2, 0},
                      Case{"LastLineWithoutEndIsALine", "a\r\nb", 1, 0, 0, 0, 2, 0, 2},
                      Case{"Utf16UnitsAreUnits", std::string("\xFF\xFE\r\0\n\0\r\0", 8), 1, 0, 1, 0, 2, 0, 2},
                      Case{"EmptySourceHasNoLine", "", 0, 0, 0, 0, 0, 0, 0}),
    [](const auto& param) { return std::string(param.param.fault); });

TEST(StrayEndLines, AreCountedWithTheirFirstLineNumbers) {
  std::string source = "END:VCARD\nBEGIN:VCARD\nEND:VCARD\n";
  for (int i = 0; i < 6; ++i) source += "x\n end:vcard \n";
  const auto f = Survey(source, 5);
  EXPECT_EQ(f.strayEnds, 7u);
  EXPECT_EQ(f.firstStrayEndLines, (std::vector<std::uint64_t>{1, 5, 7, 9, 11}));
  EXPECT_EQ(f.cards, 1u);
}

TEST(UnfinishedCard, IsReportedWithTheLineItBeginsOn) {
  const auto f = Survey("BEGIN:VCARD\nEND:VCARD\n\nBEGIN:VCARD\nBEGIN:VCARD\nEND:VCARD\nN:x\n", 3);
  EXPECT_EQ(f.unfinishedCardLine, 4u) << "the outer card's BEGIN, not the nested one";
  EXPECT_EQ(f.deepestNesting, 2u);
}

TEST(Encoding, IsNamedAsTheFirstBytesDecideIt) {
  const std::pair<std::string, const char*> cases[] = {
      {"BEGIN:VCARD\n", "8-bit"},
      {"\xEF\xBB\xBF"
       "BEGIN:VCARD\n",
       "UTF-8 with mark"},
      {std::string("\xFF\xFE"
                   "B\0",
                   4),
       "UTF-16 LE with mark"},
      {std::string("\xFE\xFF\0B", 4), "UTF-16 BE with mark"},
      {std::string("B\0E\0", 4), "UTF-16 LE without mark"},
      {std::string("\0B\0E", 4), "UTF-16 BE without mark"},
      {std::string("\0\x80", 2), "8-bit"},
      {"", "empty"},
  };
  for (const auto& [source, name] : cases) {
    EXPECT_STREQ(quillmere::cli::EncodingName(Survey(source, 1).encoding), name);
  }
}

TEST(CheckReport, KeepsItsKeysInTheDocumentedOrder) {
  const auto report = quillmere::cli::CheckReport(
      Survey("END:VCARD\r\nBEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\nBEGIN:VCARD\r\n", 4));
  EXPECT_EQ(report,
            "encoding: 8-bit\n"
            "line ends: CR LF 5, LF 0, CR 0, CR CR LF 0\n"
            "lines: 5\n"
            "cards: 1\n"
            "deepest nesting: 1\n"
            "stray END lines: 1 (line 1)\n"
            "unfinished last card: from line 5\n"
            "largest card: 1 (31 bytes)\n"
            "lines outside cards: 1\n");
}

}  // namespace
