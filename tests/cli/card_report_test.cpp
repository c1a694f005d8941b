// --report's facts, one fault each, over hand-made cards: every fact is
// read from the bytes as an importer would meet them.
#include "card_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>

#include "card_report_lines.h"
#include "quillmere/card_scanner.h"
#include "sample_sources.h"

namespace quillmere::cli {
namespace {

std::vector<CardFacts> Facts(const std::string& source, ReportSummary* summary = nullptr,
                             std::size_t block = SIZE_MAX) {
  return CardsOf(std::as_bytes(std::span(source.data(), source.size())), summary, block);
}

CardFacts Only(const std::string& source) {
  const auto cards = Facts(source);
  EXPECT_EQ(cards.size(), 1u);
  return cards.empty() ? CardFacts{} : cards.front();
}

std::string Card(const std::string& lines, const std::string& end = "\r\n") {
  return "BEGIN:VCARD" + end + lines + "END:VCARD" + end;
}

// A card after a line outside it: a card's usual first lines are taken at
// once where the block holds them whole, which the source's first bytes,
// read alone to tell its form, never are.
std::string Later(const std::string& lines) {
  return "X-BEFORE:1\r\n" + Card(lines);
}

TEST(ReportVersion, IsTheCardsOwnNotAnEmbeddedCardsNorAbsentOnes) {
  const std::pair<std::string, std::string> cases[] = {
      {Card("VERSION:2.1\r\n"), "2.1"},
      {Card("version:3.0\r\n"), "3.0"},
      {Card("VERSION: 4.0 \r\n"), "4.0"},
      {Card("N:x\r\n"), "none"},
      {Card("VERSION:2.1\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nEND:VCARD\r\n"), "2.1"},
      {Card("AGENT:\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nEND:VCARD\r\nVERSION:2.1\r\n"), "2.1"},
      // The usual first lines, taken at once, unless a fold goes on the version.
      {Later("VERSION:3.0\r\n 1\r\n"), "3.01"},
      {Later("VERSION:3.0\r\n\t\r\nN:x\r\n"), "3.0"},
      {Later("VERSION:4.0\r\nVERSION:3.0\r\n"), "4.0"},
  };
  for (const auto& [source, version] : cases) EXPECT_EQ(Only(source).version, version) << source;
}

TEST(ReportPlace, NumbersCardsAndGivesTheLineOfEachBegin) {
  const auto cards = Facts("junk\r\n\r\n" + Card("N:a\r\n") + "between\r\n" + Card("N:b\r\nN:c\r\n"));
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0].number, 1u);
  EXPECT_EQ(cards[0].firstLine, 3u);
  EXPECT_EQ(cards[1].number, 2u);
  EXPECT_EQ(cards[1].firstLine, 7u);
}

TEST(ReportBytes, AreTheSizeOfTheCardsOwnFileMarkIncluded) {
  // "\r\nBEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n", and the mark before it.
  EXPECT_EQ(Only(Card("N:a\n", "\n")).bytes, 31u);
  EXPECT_EQ(Only("\xEF\xBB\xBF" + Card("N:a\r\n")).bytes, 34u);
}

TEST(ReportPicture, IsTheLargestPhotoOrLogoValueAsWritten) {
  const std::string data(100, 'A');
  const std::pair<std::string, std::uint64_t> cases[] = {
      {Card("PHOTO;ENCODING=b;TYPE=JPEG:" + data + "\r\n"), 100},
      // Folded: the fold's space is no part of the value.
      {Card("PHOTO;ENCODING=b:" + data + "\r\n " + data + "\r\n"), 200},
      // 2.1 data lines without a fold, up to the empty line.
      {Card("PHOTO;BASE64:\r\n" + data + "\r\n" + data + "\r\n\r\nN:x\r\n"), 200},
      {Card("item1.LOGO;VALUE=uri:http://example.com/l.png\r\nPHOTO:" + data + "\r\n"), 100},
      {Card("LOGO:" + data + data + "\r\nPHOTO:" + data + "\r\n"), 200},
      {Card("NOTE:" + data + "\r\n"), 0},
      // Parameters in quotes may hold a colon.
      {Card("PHOTO;X-A=\"a:b\":" + data + "\r\n"), 100},
  };
  for (const auto& [source, bytes] : cases) EXPECT_EQ(Only(source).largestPicture, bytes) << source;
}

TEST(ReportPicture, OverIcloudsLimitIsCountedInTheSummary) {
  ReportSummary summary;
  Facts(Card("PHOTO:" + std::string(224 * 1024, 'A') + "\r\n") +
            Card("PHOTO:" + std::string(224 * 1024 + 1, 'A') + "\r\n"),
        &summary);
  EXPECT_EQ(summary.picturesOver224K, 1u);
}

TEST(ReportQuotedPrintable, IsSeenInEitherSpellingAndCase) {
  EXPECT_TRUE(Only(Card("NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db\r\n")).quotedPrintable);
  EXPECT_TRUE(Only(Card("NOTE;quoted-printable:a\r\n")).quotedPrintable);
  EXPECT_FALSE(Only(Card("NOTE:QUOTED-PRINTABLE\r\n")).quotedPrintable) << "the value is no parameter";
}

TEST(ReportUndeclared8Bit, Is2Point1TextPastAsciiWithoutCharset) {
  const std::pair<std::string, bool> cases[] = {
      {Card("VERSION:2.1\r\nN:Jos\xC3\xA9\r\n"), true},
      {Card("VERSION:2.1\r\nN;CHARSET=UTF-8:Jos\xC3\xA9\r\n"), false},
      {Card("VERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE:Jos=C3=A9\r\n"), true},
      {Card("VERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Jos=C3=A9\r\n"), false},
      // A soft break then a line that starts with a hex digit is no escape.
      {Card("VERSION:2.1\r\nNOTE;QUOTED-PRINTABLE:a=\r\nBaytown=0D=0A\r\n"), false},
      {Card("VERSION:2.1\r\nN:Jose\r\n"), false},
      {Card("VERSION:3.0\r\nN:Jos\xC3\xA9\r\n"), false},
      {Card("VERSION:2.1\r\nNOTE:ok\r\n \xC3\xA9 folded\r\n"), true},
      // Lines with no colon outside quotes go on the version before them.
      {Later("VERSION:2.1\r\nN;X=\"a:\xC3\xA9\r\nN:x\r\n"), true},
      {Later("VERSION:2.1\r\n\xC3\xA9\r\n"), true},
      {Later("VERSION:2.1\r\nN:x\r\nX-A:\xC3\xA9\r\n"), true},
  };
  for (const auto& [source, undeclared] : cases) EXPECT_EQ(Only(source).undeclared8Bit, undeclared) << source;
}

TEST(ReportLineEnds, AreTheCardsOwnNotThoseAroundIt) {
  const auto cards = Facts("a\n" + Card("N:x\r\n") + "b\r" + Card("N:y\n") + Card("N:z\r", "\r"));
  ASSERT_EQ(cards.size(), 3u);
  EXPECT_EQ(cards[0].crLf, 3u);
  EXPECT_EQ(cards[0].lf + cards[0].cr, 0u);
  EXPECT_EQ(cards[1].crLf, 2u);
  EXPECT_EQ(cards[1].lf, 1u);
  EXPECT_EQ(cards[2].cr, 3u);
  EXPECT_EQ(Only(Card("N:x\r\r\n", "\r\r\n")).crCrLf, 3u);
  const auto twoCrs = Only("BEGIN:VCARD\r\rEND:VCARD\r\r");
  EXPECT_EQ(twoCrs.cr, 3u) << "the empty line between is the card's; the last CR ends a line after it";
  std::string row;
  AddReportRow(row, ReportFormat::Tsv, cards[1]);
  EXPECT_EQ(row.substr(row.rfind('\t')), "\tCRLF,LF\n");
}

// Numbers are right-aligned by two ways: those that fit their column and
// those wider, which push the rest of the row along. Every width on either
// side of each column's edge, and an odd version, must print as before.
TEST(ReportTextRow, AlignsNumbersThatFitTheirColumnAndThoseWiderThanIt) {
  const auto right = [](std::uint64_t n, std::size_t width) {
    const std::string digits = std::to_string(n);
    return std::string(width > digits.size() ? width - digits.size() : 0, ' ') + digits;
  };
  for (std::uint64_t power = 1, digits = 1; digits <= 20; power *= 10, ++digits) {
    for (const std::uint64_t n : {power - 1, power, power + 1, digits == 20 ? UINT64_MAX : power * 10 - 1}) {
      CardFacts card;
      card.number = card.firstLine = card.bytes = card.largestPicture = n;
      card.version = digits % 2 ? "3.0" : "4.0\x01";
      card.crLf = 1;
      std::string row;
      AddReportRow(row, ReportFormat::Text, card);
      EXPECT_EQ(row, right(n, 7) + right(n, 9) + " " + (digits % 2 ? "3.0    " : "4.0?   ") + right(n, 11) +
                         right(n, 11) + "  no   no     CRLF\n")
          << n;
    }
  }
}

// A row's last columns come whole for cards whose lines end alike, and
// piece by piece for the rest: every answer with every kind of ending.
TEST(ReportTextRow, EndsWithEachAnswerAndEachMixOfLineEnds) {
  struct Ends {
    std::uint64_t crLf, lf, cr, crCrLf;
    const char* shown;
  };
  const Ends ends[] = {{2, 0, 0, 0, "CRLF"}, {0, 3, 0, 0, "LF"},        {1, 1, 0, 0, "CRLF+LF"},
                       {0, 0, 2, 0, "CR"},   {0, 1, 0, 1, "LF+CRCRLF"}, {0, 0, 0, 0, "none"}};
  for (const bool quotedPrintable : {false, true}) {
    for (const bool undeclared : {false, true}) {
      for (const Ends& end : ends) {
        CardFacts card;
        card.number = card.firstLine = 1;
        card.version = "2.1";
        card.quotedPrintable = quotedPrintable;
        card.undeclared8Bit = undeclared;
        std::tie(card.crLf, card.lf, card.cr, card.crCrLf) = std::tie(end.crLf, end.lf, end.cr, end.crCrLf);
        std::string row;
        AddReportRow(row, ReportFormat::Text, card);
        EXPECT_EQ(row.substr(row.find("2.1") + 31), std::string(quotedPrintable ? "yes  " : "no   ") +
                                                        (undeclared ? "yes    " : "no     ") + end.shown +
                                                        "\n")
            << row;
      }
    }
  }
}

TEST(ReportForm, NamesTheMarkAndTheSixteenBitFormAndReadsThem) {
  ReportSummary summary;
  const auto cards = Facts(
      testing::Utf16(Card("VERSION:3.0\r\nPHOTO:AAAA\r\n"), testing::ByteOrder::Little, testing::Mark::With),
      &summary);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].version, "3.0");
  EXPECT_EQ(cards[0].largestPicture, 8u) << "bytes of 16-bit units";
  EXPECT_STREQ(FormName(summary.encoding, false), "UTF-16 LE with mark");
  Facts("\xEF\xBB\xBF" + Card("N:a\r\n"), &summary);
  EXPECT_STREQ(FormName(summary.encoding, false), "UTF-8 with mark");
}

TEST(ReportSummaryCounts, AddEachVersionAndEachFact) {
  ReportSummary summary;
  Facts(Card("VERSION:2.1\r\nN;QUOTED-PRINTABLE:=C3\r\n") + Card("VERSION:3.0\r\n") +
            Card("VERSION:3.0\r\n") + Card("VERSION:4.0\r\n") + Card("N:x\r\n") + Card("VERSION:5.0\r\n"),
        &summary);
  const std::tuple<const char*, std::uint64_t ReportSummary::*, std::uint64_t> counts[] = {
      {"cards", &ReportSummary::cards, 6},
      {"2.1", &ReportSummary::v21, 1},
      {"3.0", &ReportSummary::v30, 2},
      {"4.0", &ReportSummary::v40, 1},
      {"none", &ReportSummary::none, 1},
      {"other", &ReportSummary::other, 1},
      {"quoted-printable", &ReportSummary::quotedPrintable, 1},
      {"undeclared 8-bit", &ReportSummary::undeclared8Bit, 1},
  };
  for (const auto& [name, count, expected] : counts) EXPECT_EQ(summary.*count, expected) << name;
}

// A large card reaches the report in parts; its facts must not change.
TEST(ReportLargeCard, InPartsGivesTheSameFactsAsHeldWhole) {
  const std::string big =
      Card("VERSION:2.1\r\nPHOTO;BASE64:\r\n" + std::string(5 << 20, 'A') + "\r\n\r\nN:Jos\xC3\xA9\r\n");
  // Folded pictures whose lines, and whose CR LFs, fall across the reads.
  std::string folded = "PHOTO;ENCODING=b:A\r\n", tabs = "LOGO:A\n";
  for (int line = 0; line < 2000; ++line) {
    folded += " " + std::string(75, 'A') + "\r\n";
    tabs += "\t" + std::string(75, 'A') + "\n";
  }
  const std::pair<std::string, std::uint64_t> cases[] = {
      {big, std::uint64_t{5} << 20},
      {Card("VERSION:3.0\r\n" + folded + "N:x\r\n"), 1 + 2000 * 75},
      {Card("VERSION:3.0\n" + tabs + "N:x\n", "\n"), 1 + 2000 * 75},
  };
  for (const auto& [source, picture] : cases) {
    for (const std::size_t block : {std::size_t{65536}, std::size_t{65537}, SIZE_MAX}) {
      const auto cards = Facts(source, nullptr, block);
      ASSERT_EQ(cards.size(), 1u) << "blocks of " << block;
      EXPECT_EQ(cards[0].largestPicture, picture) << "blocks of " << block;
      EXPECT_EQ(cards[0].bytes, source.size() + 2 + cards[0].lf) << "blocks of " << block;
      EXPECT_EQ(cards[0].crLf + cards[0].lf, std::ranges::count(source, '\n')) << "blocks of " << block;
    }
  }
  EXPECT_TRUE(Only(big).undeclared8Bit);
}

// Most lines of a card are passed over once it is clear they can change no
// fact; these are the lines that look like such lines and still do.
TEST(ReportPassingOver, StillSeesTheFactsOfLinesThatLookOrdinary) {
  struct Case {
    std::string source;
    std::uint64_t picture;
    bool quotedPrintable, undeclared8Bit;
  };
  const Case cases[] = {
      // A Q in the parameters that is not quoted-printable, then one that is.
      {Card("VERSION:3.0\r\nX-A;TYPE=quux:1\r\nN;ENCODING=QUOTED-PRINTABLE:a\r\n"), 0, true, false},
      // Pictures behind a group, with space before the parameters, in a tab fold.
      {Card("VERSION:3.0\r\nN:x\r\nitem1.PHOTO:AAAA\r\n"), 4, false, false},
      {Card("VERSION:3.0\r\nN:x\r\nPHOTO ;TYPE=JPEG:AAAA\r\n\tBB\r\nN:y\r\n"), 6, false, false},
      {Card("VERSION:3.0\r\nN:x\r\nlogo:AAAAAAAAAA\r\n"), 10, false, false},
      // 2.1 text past ASCII: undeclared unless CHARSET says otherwise, found
      // after any other parameter, in a fold, or in a head.
      {Card("VERSION:2.1\r\nN:x\r\nX-A;TYPE=cell:\xC3\xA9\r\n"), 0, false, true},
      {Card("VERSION:2.1\r\nN:x\r\nX-A;TYPE=cell;CHARSET=UTF-8:\xC3\xA9\r\n"), 0, false, false},
      {Card("VERSION:2.1\r\nN:x\r\nNOTE:plain\r\n \xC3\xA9\r\n"), 0, false, true},
      {Card("VERSION:2.1\r\nN:x\r\nX-\xC3\xA9:plain\r\n"), 0, false, true},
      {Card("N:\xC3\xA9\r\nVERSION:2.1\r\n"), 0, false, true},
      // A picture's folds that begin like a boundary word, with a tab, or
      // with a lone CR or a CR CR LF in them; and one ended by a spaced END.
      {Card("VERSION:3.0\r\nPHOTO:AAAA\r\n bAAA\r\n\tAAAA\r\n A\rA\r\nN:x\r\n"), 14, false, false},
      {"BEGIN:VCARD\r\nVERSION:3.0\r\nLOGO:AAAA\r\n AAAA\r\r\n AAAA\r\n  END:VCARD\r\n", 12, false, false},
      // A version's value ending in "=" is no soft break for what follows.
      {Card("VERSION:2.1=\r\nN;QUOTED-PRINTABLE:\r\nPHOTO:AA\r\n"), 2, true, false},
      // A quoted parameter may hold a colon or a Q.
      {Card("VERSION:3.0\r\nX-A;P=\"a:q\":1\r\nPHOTO:AA\r\n"), 2, false, false},
  };
  for (const auto& [source, picture, quotedPrintable, undeclared8Bit] : cases) {
    const CardFacts card = Only(source);
    EXPECT_EQ(card.largestPicture, picture) << source;
    EXPECT_EQ(card.quotedPrintable, quotedPrintable) << source;
    EXPECT_EQ(card.undeclared8Bit, undeclared8Bit) << source;
  }
}

// --- The report reads the source as the splitter does --------------------------

// Sources whose lines, cards or blocks are hard to follow: the generated
// samples, the real exports, and hand-made ones.
std::vector<testing::SampleSource> HardSources() {
  auto sources = testing::GeneratedSources();
  const std::string picture = "BEGIN:VCARD\r\nPHOTO:AAAA\r\n BBBB\r\n\tCCCC\r\n END:VCARD\r\n";
  const std::pair<const char*, std::string> made[] = {
      {"SpacesAroundWords", "  BEGIN:VCARD   \r\nN:x\r\n END:VCARD \r\n"},
      {"ThreeCrsThenLf", "BEGIN:VCARD\r\r\r\nEND:VCARD"},
      {"LfThenCr", "BEGIN:VCARD\n\rFN:A\n\rEND:VCARD\n\r"},
      {"TwoCrsAtTheEnd", "BEGIN:VCARD\nEND:VCARD\r\r"},
      {"LongerWordsAndCutWord", "BEGIN:VCARD\nBEGIN:VCARDS\nEND:VCARDX\nEND:VCARD\nBEGIN:VCARD\nEND:VCAR"},
      {"LeadingSpacesCrossBlocks", "BEGIN:VCARD\n" + std::string(150, ' ') + "END:VCARD\n"},
      {"FoldsAndAnEndAfterThem", picture + picture},
      {"TwoSpacesBeforeEnd", "BEGIN:VCARD\r\nPHOTO:A\r\n  END:VCARD\r\n"},
      {"SoftBreakBeforeEnd",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN;QUOTED-PRINTABLE:a=\r\nEND:VCARD\r\nEND:VCARD\r\n"},
      {"Utf16OddLastByte", testing::Utf16(picture, testing::ByteOrder::Little) + "A"},
      {"FoldsThatStartLikeBoundaryWords",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:a\r\n begin\r\n Endless\r\n  END:VCARD \r\n"},
      {"PictureFoldsThatAreNotPlain",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nPHOTO:AA\r\n bA\r\n\tA\r\n A\rA\r\n A\r\r\n  "
       "END:VCARD\r\nEND:VCARD\r\n"},
      {"VersionsWithParametersAndSpaces",
       "BEGIN:VCARD\nVERSION;X=1:2.1\nN:\xC3\xA9\nEND:VCARD\nBEGIN:VCARD\nversion: "
       "3.0=\nN;QUOTED-PRINTABLE:\nEND:VCARD\n"},
      {"EmptyLinesAndPropertiesAfterAVersion",
       "BEGIN:VCARD\r\nVERSION:3.0\r\n\r\nEMAIL;TYPE=INTERNET:a@b\r\n\r\nEND:VCARD\r\n"},
      {"Utf16BigEndianFolds",
       testing::Utf16(picture + picture, testing::ByteOrder::Big, testing::Mark::With)},
  };
  for (const auto& [name, bytes] : made) sources.push_back({name, bytes});
  if (const auto folder = testing::CorpusFolder()) {
    for (const auto& file : std::filesystem::directory_iterator(*folder))
      sources.push_back({file.path().filename().string(), testing::ReadWholeFile(file.path())});
  }
  return sources;
}

// Where the scanner a split runs finds each card, and its size.
class ScannerCards final : public LineSink {
 public:
  explicit ScannerCards(const std::string& source) {
    scanner_.Feed(std::as_bytes(std::span(source.data(), source.size())), *this);
    scanner_.Finish(*this);
  }
  bool LineEnded(bool cardDone) override {
    if (!inCard_ && (cardDone || scanner_.InsideCard())) {
      inCard_ = true;
      firstLine_ = scanner_.Statistics().lines;
    }
    if (!cardDone) return true;
    cards.push_back({firstLine_, parts_ + scanner_.Card().size()});
    scanner_.ClearCard();
    parts_ = 0;
    inCard_ = false;
    return true;
  }
  bool CardPart(std::span<const std::byte> part) override {
    parts_ += part.size();
    return true;
  }
  ScanStatistics Statistics() const { return scanner_.Statistics(); }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> cards;  // first line, bytes

 private:
  CardScanner scanner_;
  bool inCard_ = false;
  std::uint64_t firstLine_ = 0, parts_ = 0;
};

TEST(ReportReading, FindsTheScannersCardsLinesAndSizes) {
  for (const auto& [name, bytes] : HardSources()) {
    const ScannerCards scanned(bytes);
    ReportSummary summary;
    const auto cards = Facts(bytes, &summary);
    ASSERT_EQ(cards.size(), scanned.cards.size()) << name;
    for (std::size_t i = 0; i < cards.size(); ++i) {
      EXPECT_EQ(cards[i].firstLine, scanned.cards[i].first) << name << " card " << i + 1;
      EXPECT_EQ(cards[i].bytes, scanned.cards[i].second) << name << " card " << i + 1;
    }
    const ScanStatistics seen = scanned.Statistics();
    EXPECT_EQ(summary.lines, seen.lines) << name;
    EXPECT_EQ(summary.unfinishedCardLine, seen.unfinishedCardLine) << name;
    EXPECT_EQ(summary.anyBeginLine, seen.anyBeginLine) << name;
    EXPECT_EQ(summary.encoding, seen.encoding) << name;
  }
}

std::string Described(const std::vector<CardFacts>& cards) {
  std::string text;
  for (const auto& card : cards) {
    AddReportRow(text, ReportFormat::Tsv, card);
    for (const auto count : {card.crLf, card.lf, card.cr, card.crCrLf}) text += std::to_string(count) + " ";
  }
  return text;
}

// Lines, boundary words, CRs and 16-bit units cut by the end of a block.
TEST(ReportReading, GivesTheSameFactsWhateverTheBlocksItIsHandedIn) {
  for (const auto& [name, bytes] : HardSources()) {
    const std::string whole = Described(Facts(bytes));
    for (const std::size_t block : {1, 2, 3, 7, 64, 97, 4096})
      EXPECT_EQ(Described(Facts(bytes, nullptr, block)), whole) << name << " in blocks of " << block;
  }
}

// Ordinary lines are passed over 64 bytes at a time, by masks; a line
// that can change a fact must stop that wherever it lies against the
// 64-byte edges and the ends of the blocks. Each line below is put after
// a line `shift` bytes longer, at every shift, and read whole, in blocks
// that cut windows and CR LFs at varying places, and a byte at a time (the
// plain reading line by line, which the other readings must match).
TEST(ReportPassingOver, StopsAtEveryLineThatMattersWhereverItFalls) {
  struct Case {
    const char* name;
    std::string line;
    std::uint64_t picture;
    bool quotedPrintable;
  };
  const std::string longName(70, 'a');
  const Case cases[] = {
      {"QuotedPrintable", "NOTE;ENCODING=QUOTED-PRINTABLE:caf=C3=A9\r\n", 0, true},
      {"QuotedPrintablePastAWindow", "X-A;" + longName + ";ENCODING=QUOTED-PRINTABLE:x\r\n", 0, true},
      {"GroupedPhoto", "item1.PHOTO:AAAA\r\n", 4, false},
      {"GroupPastAWindow", longName + ".PHOTO:AAAA\r\n", 4, false},
      {"LowerCaseFoldedLogo", "logo:AAAA\r\n AAAA\r\n", 8, false},
      {"QuotedColon", "X-A;P=\"a:q\":1\r\nPHOTO:AA\r\n", 2, false},
      {"HeadWithoutColon", "NOTE;X=1\r\nPHOTO:A\r\n", 1, false},
      {"FoldThatIsABoundary", " begin:vcard\r\nPHOTO:AAA\r\n END:VCARD\r\n", 3, false},
      {"FoldThatOnlyLooksLikeOne", " es run\r\n Endless\r\n\tend:vcard\r\n", 0, false},
      {"SpacedEnd", "  END:VCARD \r\nPHOTO:AA\r\n", 0, false},
      {"EndAfterManySpaces", std::string(20, ' ') + "end:vcard\r\nPHOTO:AA\r\n", 0, false},
      {"FoldedTextAfterSpaces", "NOTE:a\r\n   ending\r\n  \r\n  b\r\nPHOTO:AA\r\n", 2, false},
      {"LoneCr", "NOTE:a\rPHOTO:AA\r\n", 2, false},
      {"LfAlone", "NOTE:a\nPHOTO:AA\n", 2, false},
      {"CrCrLf", "NOTE:a\r\r\nEMPTY:\r\n\r\n", 0, false},
      {"SoftBreakBeforeEnd", "N;QUOTED-PRINTABLE:a=\r\nEND:VCARD\r\nX:1\r\n", 0, true},
  };
  for (const auto& [name, line, picture, quotedPrintable] : cases) {
    for (std::size_t shift = 0; shift <= 64; ++shift) {
      const std::string source = Card("VERSION:3.0\r\nN:" + std::string(shift, 'x') +
                                      "\r\nFN:a b\r\nTEL;TYPE=CELL:1\r\n" + line + "NOTE:after\r\n") +
                                 Card("VERSION:4.0\r\nN:y\r\n");
      const auto cards = Facts(source);
      ASSERT_EQ(cards.size(), 2u) << name << " after " << shift;
      EXPECT_EQ(cards[0].largestPicture, picture) << name << " after " << shift;
      EXPECT_EQ(cards[0].quotedPrintable, quotedPrintable) << name << " after " << shift;
      const std::string plain = Described(Facts(source, nullptr, 1));
      EXPECT_EQ(Described(cards), plain) << name << " after " << shift;
      for (const std::size_t block : {73, 97, 129})
        EXPECT_EQ(Described(Facts(source, nullptr, block)), plain)
            << name << " after " << shift << " in " << block;
    }
  }
}

// The masked reading goes on past a card's end into the next card when
// that card begins in the usual way; each card after such an end must get
// the facts it gets read line by line. Each case's card comes after every
// few ordinary cards of varying size, more in all than one reading goes
// past, and the source is read whole and in blocks that cut the cards at
// varying places.
TEST(ReportPassingOver, GivesEachCardPastAnEndItsOwnFacts) {
  const std::pair<const char*, std::string> cases[] = {
      {"Ordinary", Card("VERSION:4.0\r\nN:x\r\nNOTE:y\r\n")},
      {"Version21WithUndeclaredText", Card("VERSION:2.1\r\nN:\xC3\xA9\r\n")},
      {"FoldOnTheVersion", Card("VERSION:3.0\r\n 1\r\nN:x\r\n")},
      {"LineWithoutColonAfterTheVersion", Card("VERSION:3.0\r\nno colon\r\nN:x\r\n")},
      {"EmptyLineAfterTheVersion", Card("VERSION:3.0\r\n\r\nN:x\r\n")},
      {"PhotoAfterTheVersion", Card("VERSION:3.0\r\nPHOTO:AAAA\r\n AA\r\n")},
      {"QuotedPrintableLater", Card("VERSION:3.0\r\nN:a\r\nNOTE;QUOTED-PRINTABLE:=C3=A9\r\n")},
      {"LongerVersion", Card("VERSION:3.00\r\nN:x\r\n")},
      {"LowerCaseBoundaries", "begin:vcard\r\nVERSION:3.0\r\nN:x\r\nend:vcard\r\n"},
      {"LfEnds", Card("VERSION:3.0\nN:x\n", "\n")},
      {"InnerCard",
       Card("VERSION:3.0\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nN:in\r\nEND:VCARD\r\nN:out\r\n")},
      {"LinesOutsideCards", "X-BETWEEN:1\r\n\r\n" + Card("VERSION:4.0\r\nN:x\r\n")},
  };
  for (const auto& [name, special] : cases) {
    for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
      std::string source = mark;
      for (std::size_t i = 0; i < 48; ++i) {
        source += Card("VERSION:3.0\r\nN:" + std::string(i * 7 % 70, 'x') + "\r\nFN:a b\r\n" +
                       (i % 2 ? " folded\r\n" : "") + "EMAIL;TYPE=INTERNET:a@b\r\n");
        if (i % 4 == 3) source += special;
      }
      ReportSummary plainSummary, summary;
      const std::string plain = Described(Facts(source, &plainSummary, 1));
      EXPECT_EQ(Described(Facts(source, &summary)), plain) << name;
      EXPECT_EQ(summary.lines, plainSummary.lines) << name;
      for (const std::size_t block : {100, 1000, 4096})
        EXPECT_EQ(Described(Facts(source, nullptr, block)), plain) << name << " in " << block;
    }
  }
}

// The masked reading of ordinary lines, a byte at a time and with each
// vector width this processor has, takes the same lines from every line
// start of every hard source and of a long run of ordinary lines.
TEST(ReportPassingOver, ReadsTheSameLinesWithEveryVectorWidth) {
  auto sources = HardSources();
  std::string ordinary = "VERSION:3.0\r\n";
  for (int line = 0; line < 40; ++line)
    ordinary += "NOTE;TYPE=x:" + std::string(static_cast<std::size_t>(line * 3), 'n') + "\r\n " + "es\r\n";
  sources.push_back({"OrdinaryLines", Card(ordinary + "X-Q:1\r\n")});
  const auto readings = PlainLinesReadings();
  for (const auto& [name, bytes] : sources) {
    const auto* const begin = reinterpret_cast<const std::byte*>(bytes.data());
    for (std::size_t at = 0; at < bytes.size(); at = bytes.find('\n', at) + 1) {
      for (const bool crossCards : {false, true}) {
        const PlainLines plain = readings.front()(begin + at, begin + bytes.size(), crossCards);
        for (const PlainLinesReading reading : readings) {
          const PlainLines run = reading(begin + at, begin + bytes.size(), crossCards);
          EXPECT_EQ(run.end, plain.end) << name << " from " << at;
          EXPECT_EQ(run.lines, plain.lines) << name << " from " << at;
          EXPECT_EQ(run.anyHead, plain.anyHead) << name << " from " << at;
          ASSERT_EQ(run.crossings, plain.crossings) << name << " from " << at;
          for (std::size_t i = 0; i < run.crossings; ++i) {
            EXPECT_EQ(run.crossing[i].end, plain.crossing[i].end) << name << " from " << at;
            EXPECT_EQ(run.crossing[i].lines, plain.crossing[i].lines) << name << " from " << at;
          }
        }
      }
      if (bytes.find('\n', at) == std::string::npos) break;
    }
  }
}

}  // namespace
}  // namespace quillmere::cli
