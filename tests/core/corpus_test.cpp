// The real exports in ../shared/corpus, used where they lie. Their facts
// sheet (SOURCES.md), measured independently, says how many top-level cards
// each holds; every card must come out whole and byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "splitter.h"
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

// Lines of a byte source as any reader of vCards would cut them: CR LF,
// CR CR LF, lone CR and lone LF all end a line.
std::vector<std::string> SimpleLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      line += c;
      continue;
    }
    lines.push_back(line);
    line.clear();
    if (c == '\r' && text.compare(i + 1, 2, "\r\n") == 0)
      i += 2;
    else if (c == '\r' && text.compare(i + 1, 1, "\n") == 0)
      i += 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string Trimmed(const std::string& s) {
  const auto a = s.find_first_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(' ') - a + 1);
}

bool IsWord(const std::string& line, const std::string& word) {
  const std::string t = Trimmed(line);
  return t.size() == word.size() &&
         std::equal(t.begin(), t.end(), word.begin(), [](char a, char b) { return std::toupper(a) == b; });
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
    if (name.find("Utf16") != std::string::npos) continue;  // see the UTF-16 test below
    SCOPED_TRACE(name);
    ASSERT_TRUE(facts.count(name));
    const Facts& f = facts.at(name);
    TempDir out;
    RecordingOwner owner;
    ASSERT_EQ(SplitCards(out.Text(), entry.path().native(), owner), RunOutcome::Finished);
    const bool unfinished = f.begins > f.ends;
    EXPECT_EQ(owner.summary.saved, static_cast<std::uint64_t>(f.topLevel - (unfinished ? 1 : 0)));
    EXPECT_EQ(owner.summary.unfinishedLastCard, unfinished);

    // Rebuild each card from the source's own lines and compare bytes.
    std::string source = ReadBytes(entry.path());
    std::string mark;
    if (source.rfind("\xEF\xBB\xBF", 0) == 0) mark = source.substr(0, 3), source.erase(0, 3);
    std::vector<std::string> expected;
    std::string card;
    int depth = 0;
    for (const auto& line : SimpleLines(source)) {
      const bool begin = IsWord(line, "BEGIN:VCARD"), end = IsWord(line, "END:VCARD");
      if (depth == 0 && !begin) continue;
      card += "\r\n" + (begin || end ? Trimmed(line) : line);
      depth += begin ? 1 : end ? -1 : 0;
      if (depth == 0) expected.push_back(mark + card + "\r\n"), card.clear();
    }
    EXPECT_EQ(OutputCards(out.Path()), expected);
    ++checked;
  }
  EXPECT_GE(checked, 50);
}

TEST(Corpus, Utf16ExportSplitsOnCodeUnitsWithItsMark) {
  const fs::path file = kCorpus / "FolkerKinzel__VCards__v3Utf16Bom.vcf";
  if (!fs::exists(file)) GTEST_SKIP() << "no corpus at " << kCorpus << " (../shared absent)";
  TempDir out;
  RecordingOwner owner;
  SplitCards(out.Text(), file.native(), owner);
  const auto cards = OutputCards(out.Path());
  ASSERT_EQ(cards.size(), 2u);
  // The source is CR LF throughout, so the cards are its card regions after
  // the mark, each with a leading CR LF.
  const std::string source = ReadBytes(file);
  const std::string newline("\r\0\n\0", 4);
  std::string joined;
  for (const auto& c : cards) {
    ASSERT_EQ(c.substr(0, 2), "\xFF\xFE");
    ASSERT_EQ(c.substr(2, 4), newline);
    joined += c.substr(6);
  }
  EXPECT_EQ(joined, source.substr(2));
}

}  // namespace
}  // namespace quillmere::test
