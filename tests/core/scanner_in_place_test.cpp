// Cards read in place: a card that lies whole in one read block and needs no
// rewriting is handed over straight from the block, and runs of plain lines
// are reported in one call. Each case is fed at every block size, so the
// card, its line ends and the CR LF before it fall on every block edge; the
// cards and the line count must always be the slow model's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "card_model.h"
#include "quillmere/card_scanner.h"

namespace quillmere::test {
namespace {

class Recorder : public LineSink {
 public:
  explicit Recorder(CardScanner& scanner) : scanner_(scanner) {}
  bool LineEnded(bool cardDone) override {
    ++lines;
    if (cardDone) {
      const auto card = scanner_.Card();
      inPlace.push_back(card.data() >= block_.data() && card.data() < block_.data() + block_.size());
      cards.emplace_back(parts_ + std::string(reinterpret_cast<const char*>(card.data()), card.size()));
      parts_.clear();
      scanner_.ClearCard();
    }
    return true;
  }
  bool LinesEnded(std::uint64_t count) override {
    lines += count;
    largestRun = std::max(largestRun, count);
    return true;
  }
  bool CardPart(std::span<const std::byte> part) override {
    parts_.append(reinterpret_cast<const char*>(part.data()), part.size());
    return true;
  }
  void Feeding(std::span<const std::byte> block) { block_ = block; }

  std::vector<std::string> cards;
  std::vector<bool> inPlace;
  std::uint64_t lines = 0;
  std::uint64_t largestRun = 0;

 private:
  CardScanner& scanner_;
  std::span<const std::byte> block_;
  std::string parts_;
};

struct Scan {
  std::vector<std::string> cards;
  std::vector<bool> inPlace;
  std::uint64_t lines = 0;
  std::uint64_t largestRun = 0;
};

Scan ScanInBlocks(const std::string& source, std::size_t block, std::size_t holdLimit) {
  CardScanner scanner(holdLimit);
  Recorder sink(scanner);
  const auto* bytes = reinterpret_cast<const std::byte*>(source.data());
  // One block, reused as a reader's is: a card read in place must be copied
  // before the block's bytes are overwritten.
  std::vector<std::byte> reused(block);
  for (std::size_t at = 0; at < source.size(); at += block) {
    const std::span<std::byte> piece{reused.data(), std::min(block, source.size() - at)};
    std::copy_n(bytes + at, piece.size(), piece.begin());
    sink.Feeding(piece);
    scanner.Feed(piece, sink);
    std::fill(reused.begin(), reused.end(), std::byte{'#'});
  }
  sink.Feeding({});
  scanner.Finish(sink);
  return {sink.cards, sink.inPlace, sink.lines, sink.largestRun};
}

struct Case {
  const char* name;
  std::string source;
};

// Sources where reading in place must stop and copy at the right moment:
// every way a card can differ from its own bytes in the source. (The first
// bytes of a source go through the encoding check, so most cases start with
// a line before their first card.)
const std::vector<Case> kCases = {
    {"plain CR LF cards",
     "PRODID:x\r\nBEGIN:VCARD\r\nFN:A\r\n folded\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:B\r\nEND:VCARD\r\n"},
    {"first card at the very start", "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n"},
    {"spaces around BEGIN", "PRODID:x\r\n BEGIN:VCARD \r\nFN:A\r\nEND:VCARD\r\n"},
    {"spaces around END", "PRODID:x\r\nBEGIN:VCARD\r\nFN:A\r\n  END:VCARD\r\n"},
    {"a lone LF inside", "PRODID:x\r\nBEGIN:VCARD\r\nFN:A\nNOTE:b\r\nEND:VCARD\r\n"},
    {"a lone CR inside", "PRODID:x\r\nBEGIN:VCARD\r\nFN:A\rNOTE:b\r\nEND:VCARD\r\n"},
    {"CR CR LF inside", "PRODID:x\r\nBEGIN:VCARD\r\nFN:A\r\r\nNOTE:b\r\nEND:VCARD\r\n"},
    {"END without a line end", "PRODID:x\r\nBEGIN:VCARD\r\nFN:A\r\nEND:VCARD"},
    {"END then a lone CR", "PRODID:x\r\nBEGIN:VCARD\r\nFN:A\r\nEND:VCARD\rBEGIN:VCARD\r\nEND:VCARD\r\n"},
    {"nested card with spaces",
     "PRODID:x\r\nBEGIN:VCARD\r\nAGENT:\r\n BEGIN:VCARD\r\nFN:In\r\nEND:VCARD \r\nEND:VCARD\r\n"},
    {"lines that start like boundaries",
     "PRODID:x\r\nBEGIN:VCARD\r\nEMAIL:e\r\nBDAY:1\r\n  E\r\nBEGIN:VCAR\r\nEND:VCARD\r\n"},
    {"blank and space-only lines", "PRODID:x\r\nBEGIN:VCARD\r\n\r\n   \r\nFN:A\r\nEND:VCARD\r\n"},
    {"UTF-8 mark before every card",
     "\xEF\xBB\xBF"
     "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\n"},
    {"UTF-16 LE with its mark",
     std::string("\xFF\xFE\r\0\n\0B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0\n\0F\0N\0\r\0\n\0"
                 "E\0N\0D\0:\0V\0C\0A\0R\0D\0\r\0\n\0",
                 62)},
    {"UTF-16 BE without a mark", std::string("\0\r\0\n\0B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0\n\0F\0N\0\r\0\n"
                                             "\0E\0N\0D\0:\0V\0C\0A\0R\0D\0\r\0\n",
                                             60)},
};

TEST(ReadInPlace, CardsAndLinesAreTheModelsAtEveryBlockSize) {
  for (const auto& c : kCases) {
    const auto expected = model::SplitWholeFile(c.source);
    std::fprintf(stderr, "%s: %zu cards %zu bytes\n", c.name, expected.cards.size(), c.source.size());
    for (std::size_t hold : {std::size_t{16}, CardScanner::kDefaultHoldLimit}) {
      for (std::size_t block = 1; block <= c.source.size(); ++block) {
        const auto scan = ScanInBlocks(c.source, block, hold);
        ASSERT_EQ(scan.cards, expected.cards) << c.name << ", blocks of " << block << ", hold " << hold;
        ASSERT_EQ(scan.lines, expected.progress.size()) << c.name << ", blocks of " << block;
      }
    }
  }
}

// The point of it all: a CR LF card whole in its block is not copied, and
// its plain lines are reported together.
TEST(ReadInPlace, CrLfCardWholeInItsBlockIsNotCopied) {
  // (The first bytes go through the encoding check, so a line comes first.)
  std::string source = "exported\r\n";
  for (int n = 0; n < 3; ++n) source += "BEGIN:VCARD\r\nFN:A\r\nTEL:1\r\nNOTE:x\r\n y\r\nEND:VCARD\r\n";
  const auto scan = ScanInBlocks(source, source.size(), CardScanner::kDefaultHoldLimit);
  ASSERT_EQ(scan.inPlace.size(), 3u);
  for (std::size_t n = 0; n < 3; ++n) EXPECT_TRUE(scan.inPlace[n]) << "card " << n + 1 << " was copied";
  EXPECT_GE(scan.largestRun, 4u) << "plain lines were reported one by one";
}

// A card that reaches the hold limit in place is handed on in parts as it
// would be when copied: reading in place must not lift the memory bound.
TEST(ReadInPlace, HoldLimitStillSplitsACardReadInPlace) {
  const std::string source = "\r\nBEGIN:VCARD\r\nNOTE:" + std::string(300, 'n') + "\r\nFN:A\r\nEND:VCARD\r\n";
  CardScanner scanner(64);
  class Parts : public LineSink {
   public:
    bool LineEnded(bool) override { return true; }
    bool CardPart(std::span<const std::byte> part) override {
      largest = std::max(largest, part.size());
      return true;
    }
    std::size_t largest = 0;
  } sink;
  scanner.Feed({reinterpret_cast<const std::byte*>(source.data()), source.size()}, sink);
  scanner.Finish(sink);
  EXPECT_GT(sink.largest, 0u) << "the card was never handed on in parts";
  EXPECT_LT(sink.largest, 64u + 300u + 8u);
  EXPECT_LE(scanner.Card().size(), 64u + 16u) << "the rest of the card was held past the limit";
}

}  // namespace
}  // namespace quillmere::test
