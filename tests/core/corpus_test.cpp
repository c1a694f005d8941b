// The real exports in ../shared/corpus, used where they lie, split through
// the real file system. Their facts sheet (SOURCES.md), measured
// independently, says how many top-level cards each holds; every card must
// come out byte for byte as the tests' whole-file model cuts it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "card_model.h"
#include "quillmere/splitter.h"
#include "test_support.h"

namespace quillmere::test {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = QUILLMERE_CORPUS_DIR;

struct Facts {
  int begins = 0, ends = 0, topLevel = 0;
};

// Reads "BEGIN ci / exact", "END ci" and "Top / nest" from the facts table.
std::map<std::string, Facts> ReadFacts() {
  std::map<std::string, Facts> facts;
  std::ifstream in(kCorpus / "SOURCES.md");
  bool measured = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## Measured facts", 0) == 0) measured = true;
    if (!measured || line.rfind("| `", 0) != 0) continue;
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    const std::string name =
        cells[1].substr(cells[1].find('`') + 1, cells[1].rfind('`') - cells[1].find('`') - 1);
    facts[name] = {std::stoi(cells[6]), std::stoi(cells[7]), std::stoi(cells[8])};
  }
  return facts;
}

TEST(Corpus, EveryRealExportSplitsIntoItsCardsByteForByte) {
  if (!fs::exists(kCorpus / "SOURCES.md"))
    GTEST_SKIP() << "no corpus at " << kCorpus << " (../shared absent)";
  const auto facts = ReadFacts();
  ASSERT_GE(facts.size(), 50u);
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".vcf") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ASSERT_TRUE(facts.count(name));
    const Facts& f = facts.at(name);
    ScratchFolder out;
    RecordingOwner owner;
    ASSERT_EQ(RecordedSplit({.source = entry.path().native(), .folder = out.Text()}, owner),
              RunOutcome::Finished);
    const bool unfinished = f.begins > f.ends;
    EXPECT_EQ(owner.Summary().saved, static_cast<std::uint64_t>(f.topLevel - (unfinished ? 1 : 0)));
    EXPECT_EQ(owner.Summary().unfinishedLastCard, unfinished);

    // Byte for byte as the whole-file model of the tests cuts them.
    const auto expected = model::SplitWholeFile(ReadWholeFile(entry.path())).cards;
    EXPECT_EQ(OutputCards(out.Path()), expected);
    ++checked;
  }
  EXPECT_GE(checked, 50);
}

}  // namespace
}  // namespace quillmere::test
