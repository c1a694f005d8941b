// Several cards to a file (--cards, --max-bytes) through the real file
// system: every file is whole cards in source order, framed as a one-card
// file is, and joined they give back exactly the cards of a one-card run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "quillmere/messages.h"
#include "quillmere/splitter.h"
#include "test_support.h"

namespace quillmere::test {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = QUILLMERE_CORPUS_DIR;

std::size_t MarkBytes(const std::string& card) {
  if (card.rfind("\xEF\xBB\xBF", 0) == 0) return 3;
  if (card.rfind("\xFF\xFE", 0) == 0 || card.rfind("\xFE\xFF", 0) == 0) return 2;
  return 0;
}

// The files a batched run must write, worked out from the one-card files:
// a file closes at N cards, or before a card that would take it past the
// byte limit; a card over the limit goes alone. The source's mark opens
// each file once.
std::vector<std::string> Batched(const std::vector<std::string>& cards, BatchLimits limits) {
  std::vector<std::string> files;
  std::string open;
  std::uint64_t count = 0;
  const auto close = [&] {
    if (count) files.push_back(open);
    open.clear();
    count = 0;
  };
  for (const auto& card : cards) {
    const std::string body = card.substr(MarkBytes(card));
    const bool full = limits.cards && count == limits.cards;
    if (count && (full || (limits.bytes && open.size() + body.size() > limits.bytes))) close();
    open += count ? body : card;
    ++count;
    if (limits.bytes && card.size() > limits.bytes) close();
  }
  close();
  return files;
}

// Files one after another, each without its mark but the first.
std::string Joined(const std::vector<std::string>& files) {
  std::string joined;
  for (const auto& file : files) joined += joined.empty() ? file : file.substr(MarkBytes(file));
  return joined;
}

struct Outcome {
  RunOutcome outcome;
  RecordingOwner owner;
  std::vector<std::string> files;
};

Outcome Split(const fs::path& source, BatchLimits limits, unsigned jobs = 1, std::size_t hold = 4 << 20) {
  ScratchFolder out;
  Outcome run;
  run.outcome = RecordedSplit({.source = source.native(),
                               .folder = out.Text(),
                               .largeCardBytes = hold,
                               .jobs = jobs,
                               .batches = limits},
                              run.owner);
  run.files = OutputCards(out.Path());
  return run;
}

// The limits tried on each real export: 1, 2 and 7 cards; its smallest and
// largest card's size, a byte less and a byte more; both limits at once.
std::vector<BatchLimits> LimitsFor(const std::vector<std::string>& cards) {
  std::vector<BatchLimits> limits = {{.cards = 1}, {.cards = 2}, {.cards = 7}};
  const auto [smallest, largest] =
      std::minmax_element(cards.begin(), cards.end(), [](auto& a, auto& b) { return a.size() < b.size(); });
  for (const std::uint64_t size : {smallest->size(), largest->size()})
    for (const std::uint64_t bytes : {size - 1, size, size + 1}) limits.push_back({.bytes = bytes});
  limits.push_back({.cards = 2, .bytes = largest->size() + smallest->size()});
  return limits;
}

TEST(Batches, OverTheCorpusHoldWholeCardsInOrderAndJoinBackToTheOneCardRun) {
  if (!fs::exists(kCorpus / "SOURCES.md"))
    GTEST_SKIP() << "no corpus at " << kCorpus << " (../shared absent): batches not checked on real exports";
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".vcf") continue;
    const auto single = Split(entry.path(), {});
    if (single.files.empty()) continue;
    for (const auto& limits : LimitsFor(single.files)) {
      SCOPED_TRACE(entry.path().filename().string() + ": --cards " + std::to_string(limits.cards) +
                   " --max-bytes " + std::to_string(limits.bytes));
      const auto batched = Split(entry.path(), limits);
      ASSERT_EQ(batched.outcome, RunOutcome::Finished);
      EXPECT_EQ(batched.files, Batched(single.files, limits));
      EXPECT_EQ(Joined(batched.files), Joined(single.files));
      EXPECT_EQ(batched.owner.Summary().saved, single.files.size()) << "the message counts cards";
      EXPECT_EQ(batched.owner.Summary().files, batched.files.size()) << "and files";
      ++checked;
    }
  }
  EXPECT_GE(checked, 400);
}

TEST(Batches, SeveralWritersWriteTheSameBytes) {
  if (!fs::exists(kCorpus / "SOURCES.md"))
    GTEST_SKIP() << "no corpus at " << kCorpus << " (../shared absent)";
  for (const char* name : {"mangstadt__ez-vcard__gmail-list.vcf", "FolkerKinzel__VCards__v3Utf16Bom.vcf"}) {
    for (const BatchLimits limits : {BatchLimits{.cards = 2}, BatchLimits{.bytes = 300}}) {
      SCOPED_TRACE(name);
      EXPECT_EQ(Split(kCorpus / name, limits, 4).files, Split(kCorpus / name, limits, 1).files);
    }
  }
}

class HandMadeBatches : public ::testing::Test {
 protected:
  fs::path Source(const std::string& bytes) {
    const fs::path file = in.Path() / "contacts.vcf";
    WriteWholeFile(file, bytes);
    return file;
  }
  ScratchFolder in;
};

const std::string kSmall = "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n";
const std::string kBig = "BEGIN:VCARD\r\nNOTE:" + std::string(300, 'x') + "\r\nEND:VCARD\r\n";
const std::string kSmallFile = CardFile({"BEGIN:VCARD", "FN:A", "END:VCARD"});
const std::string kBigFile = CardFile({"BEGIN:VCARD", "NOTE:" + std::string(300, 'x'), "END:VCARD"});

TEST_F(HandMadeBatches, CardLargerThanTheLimitGoesAloneWithAWarning) {
  const auto run = Split(Source(kSmall + kSmall + kBig + kSmall), {.bytes = 100});
  EXPECT_EQ(run.files, (std::vector<std::string>{kSmallFile + kSmallFile, kBigFile, kSmallFile}));
  EXPECT_EQ(run.owner.overLimit, (std::vector<std::array<std::uint64_t, 3>>{{3, kBigFile.size(), 2}}));
  EXPECT_EQ(run.owner.Summary().saved, 4u);
}

TEST_F(HandMadeBatches, CardTooLargeToHoldStartsAFileOfItsOwnAndOthersFollowIt) {
  const auto run = Split(Source(kSmall + kBig + kSmall + kSmall), {.cards = 3}, 1, 64);
  EXPECT_EQ(run.files, (std::vector<std::string>{kSmallFile, kBigFile + kSmallFile + kSmallFile}));
}

TEST_F(HandMadeBatches, SourceEndingInsideALargeCardLeavesOnlyTheFinishedBatch) {
  const auto run =
      Split(Source(kSmall + kSmall + "BEGIN:VCARD\r\nNOTE:" + std::string(300, 'x')), {.cards = 5}, 1, 64);
  EXPECT_EQ(run.files, (std::vector<std::string>{kSmallFile + kSmallFile}));
  EXPECT_TRUE(run.owner.Summary().unfinishedLastCard);
}

TEST_F(HandMadeBatches, BatchLargerThanTheHoldLimitIsWrittenInPartsTheSame) {
  std::string source;
  for (int i = 0; i < 9; ++i) source += kSmall;
  for (unsigned jobs : {1u, 3u}) {
    const auto run = Split(Source(source), {.cards = 4}, jobs, 64);
    EXPECT_EQ(run.files.size(), 3u);
    EXPECT_EQ(Joined(run.files), Joined(Split(Source(source), {}).files));
    EXPECT_TRUE(std::ranges::none_of(fs::directory_iterator(in.Path()), [](auto& e) {
      return e.path().filename().string().find(".partial-") != std::string::npos;
    }));
  }
}

TEST(BatchMessage, CountsCardsAndFilesAndLeavesTheOneCardMessageAlone) {
  RunSummary summary;
  summary.saved = 1204;
  summary.folder = N("out/");
  EXPECT_EQ(FinalMessage(summary), N("1204 vCards Saved in \r\nout/"));
  summary.files = 13;
  EXPECT_EQ(FinalMessage(summary), N("1204 vCards Saved in 13 files in \r\nout/"));
  summary.files = 1;
  EXPECT_EQ(FinalMessage(summary), N("1204 vCards Saved in 1 file in \r\nout/"));
}

}  // namespace
}  // namespace quillmere::test
