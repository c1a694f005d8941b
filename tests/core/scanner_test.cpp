// The scanner on its own, fed in every block size a read might return, so
// a line end or a 16-bit unit split across two reads is always covered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillmere/card_scanner.h"
#include "test_support.h"

namespace quillmere::test {
namespace {

struct Scanned {
  std::vector<std::string> cards;
  std::size_t lines = 0;
  bool insideCard = false;
  friend bool operator==(const Scanned&, const Scanned&) = default;
};

// Puts each card together from the parts handed on and its last bytes, and
// records the largest part, which is what the scanner held at most.
class Collector : public LineSink {
 public:
  explicit Collector(CardScanner& scanner, Scanned& out) : scanner_(scanner), out_(out) {}
  bool LineEnded(bool cardDone) override {
    ++out_.lines;
    if (cardDone) {
      const auto card = scanner_.Card();
      largestHeld = std::max(largestHeld, card.size());
      out_.cards.emplace_back(parts_ + std::string(reinterpret_cast<const char*>(card.data()), card.size()));
      parts_.clear();
      scanner_.ClearCard();
    }
    return true;
  }
  bool CardPart(std::span<const std::byte> part) override {
    largestHeld = std::max(largestHeld, part.size());
    ++partsHanded;
    parts_.append(reinterpret_cast<const char*>(part.data()), part.size());
    return true;
  }

  std::size_t largestHeld = 0;
  std::size_t partsHanded = 0;

 private:
  CardScanner& scanner_;
  Scanned& out_;
  std::string parts_;
};

struct ScanResult {
  Scanned scanned;
  std::size_t largestHeld = 0;
  std::size_t partsHanded = 0;
  ScanStatistics statistics;
};

ScanResult ScanFully(const std::string& source, std::size_t block,
                     std::size_t holdLimit = CardScanner::kDefaultHoldLimit) {
  CardScanner scanner(holdLimit);
  ScanResult result;
  Scanned& out = result.scanned;
  Collector sink(scanner, out);
  const auto* bytes = reinterpret_cast<const std::byte*>(source.data());
  for (std::size_t at = 0; at < source.size(); at += block) {
    scanner.Feed({bytes + at, std::min(block, source.size() - at)}, sink);
  }
  scanner.Finish(sink);
  out.insideCard = scanner.InsideCard();
  result.largestHeld = sink.largestHeld;
  result.partsHanded = sink.partsHanded;
  result.statistics = scanner.Statistics();
  return result;
}

Scanned ScanInBlocks(const std::string& source, std::size_t block,
                     std::size_t holdLimit = CardScanner::kDefaultHoldLimit) {
  return ScanFully(source, block, holdLimit).scanned;
}

// Scans with every block size from 1 to the whole source, holding cards
// whole and handing them on in parts of a few bytes, and checks that each
// gives the same result as one whole read.
Scanned Scan(const std::string& source) {
  const Scanned whole = ScanInBlocks(source, source.size() + 1);
  for (std::size_t block = 1; block <= source.size(); ++block) {
    for (std::size_t hold : {CardScanner::kDefaultHoldLimit, std::size_t{1}, std::size_t{5}}) {
      EXPECT_EQ(ScanInBlocks(source, block, hold), whole)
          << "read in blocks of " << block << " bytes, holding " << hold;
    }
  }
  return whole;
}

struct Case {
  const char* name;
  std::string source;
  std::vector<std::string> cards;
  std::size_t lines;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class LineEnds : public ::testing::TestWithParam<Case> {};

TEST_P(LineEnds, EachKindOfLineEndEndsExactlyOneLine) {
  const Case& c = GetParam();
  const Scanned got = Scan(c.source);
  EXPECT_EQ(got.cards, c.cards);
  EXPECT_EQ(got.lines, c.lines);
  EXPECT_FALSE(got.insideCard);
}

const std::vector<std::string> kSimple = {CardFile({"BEGIN:VCARD", "N:A", "END:VCARD"})};

INSTANTIATE_TEST_SUITE_P(
    Splitter, LineEnds,
    ::testing::Values(
        Case{"crlf", "BEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\n", kSimple, 3},
        Case{"lone_lf_as_from_macos_and_scripts", "BEGIN:VCARD\nN:A\nEND:VCARD\n", kSimple, 3},
        Case{"lone_cr", "BEGIN:VCARD\rN:A\rEND:VCARD\r", kSimple, 3},
        Case{"cr_cr_lf_from_ios_is_one_end", "BEGIN:VCARD\r\r\nN:A\r\r\nEND:VCARD\r\r\n", kSimple, 3},
        Case{"cr_cr_lf_keeps_folded_value_whole",
             "BEGIN:VCARD\r\r\nNOTE:a\r\r\n b\r\r\nEND:VCARD\r\r\n",
             {CardFile({"BEGIN:VCARD", "NOTE:a", " b", "END:VCARD"})},
             4},
        Case{"two_lone_crs_make_an_empty_line",
             "BEGIN:VCARD\r\rN:A\rEND:VCARD",
             {CardFile({"BEGIN:VCARD", "", "N:A", "END:VCARD"})},
             4},
        Case{"lf_then_cr_are_two_ends",
             "BEGIN:VCARD\n\rN:A\r\nEND:VCARD",
             {CardFile({"BEGIN:VCARD", "", "N:A", "END:VCARD"})},
             4},
        Case{"three_crs_and_lf_are_a_lone_cr_then_cr_cr_lf",
             "BEGIN:VCARD\r\r\r\nEND:VCARD",
             {CardFile({"BEGIN:VCARD", "", "END:VCARD"})},
             3},
        Case{"mixed_ends_in_one_file",
             "BEGIN:VCARD\r\nN:A\nPHOTO:x\r\n y\nEND:VCARD\r",
             {CardFile({"BEGIN:VCARD", "N:A", "PHOTO:x", " y", "END:VCARD"})},
             5},
        Case{"last_line_without_an_end", "BEGIN:VCARD\r\nN:A\r\nEND:VCARD", kSimple, 3},
        Case{"end_at_end_of_file_starts_no_line", "BEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\r", kSimple, 4},
        Case{"blank_lines_inside_a_card_stay_empty_lines",
             "BEGIN:VCARD\r\n\r\nN:A\r\n\r\nEND:VCARD\r\n",
             {CardFile({"BEGIN:VCARD", "", "N:A", "", "END:VCARD"})},
             5}),
    [](const auto& p) { return std::string(p.param.name); });

class Boundaries : public ::testing::TestWithParam<Case> {};

TEST_P(Boundaries, OnlyBoundaryLinesAreRecognisedAndOnlyTheyAreTrimmed) {
  const Case& c = GetParam();
  EXPECT_EQ(Scan(c.source).cards, c.cards);
}

INSTANTIATE_TEST_SUITE_P(
    Splitter, Boundaries,
    ::testing::Values(
        Case{"lower_case_as_thunderbird_writes",
             "begin:vcard\r\nN:A\r\nend:vcard\r\n",
             {CardFile({"begin:vcard", "N:A", "end:vcard"})},
             0},
        Case{"mixed_case_as_the_rfc_examples",
             "BEGIN:vCard\r\nN:A\r\nEnd:VCard\r\n",
             {CardFile({"BEGIN:vCard", "N:A", "End:VCard"})},
             0},
        Case{"spaces_around_boundaries_are_dropped", "  BEGIN:VCARD \r\nN:A\r\n END:VCARD  \r\n", kSimple, 0},
        Case{"tab_after_begin_prevents_a_match", "BEGIN:VCARD\t\r\nN:A\r\nEND:VCARD\r\n", {}, 0},
        Case{"tab_before_end_prevents_a_match",
             "BEGIN:VCARD\r\n\tEND:VCARD\r\nEND:VCARD\r\n",
             {CardFile({"BEGIN:VCARD", "\tEND:VCARD", "END:VCARD"})},
             0},
        Case{"longer_or_shorter_words_are_content",
             "BEGIN:VCARDS\r\nBEGIN:VCAR\r\nBEGIN:VCARD\r\nEND:VCARDX\r\nEND:VCARD\r\n",
             {CardFile({"BEGIN:VCARD", "END:VCARDX", "END:VCARD"})},
             0},
        Case{"space_inside_the_word_prevents_a_match", "BEGIN :VCARD\r\nN:A\r\nEND:VCARD\r\n", {}, 0},
        Case{"folded_lines_keep_their_leading_space_and_tab",
             "BEGIN:VCARD\r\nPHOTO;ENCODING=b:AAAA\r\n BBBB\r\n\tCCCC\r\nEND:VCARD\r\n",
             {CardFile({"BEGIN:VCARD", "PHOTO;ENCODING=b:AAAA", " BBBB", "\tCCCC", "END:VCARD"})},
             0},
        Case{"trailing_spaces_of_content_lines_are_kept",
             "BEGIN:VCARD\r\nN:A  \r\n  \r\nEND:VCARD\r\n",
             {CardFile({"BEGIN:VCARD", "N:A  ", "  ", "END:VCARD"})},
             0},
        Case{"nul_and_8bit_bytes_pass_through",
             std::string("BEGIN:VCARD\r\nN:\x82\xa0\xff\0x\x80\r\nEND:VCARD\r\n", 34),
             {CardFile({"BEGIN:VCARD", std::string("N:\x82\xa0\xff\0x\x80", 8), "END:VCARD"})},
             0},
        Case{"lines_outside_cards_are_not_written",
             "Header\r\nBEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\nbetween\r\n\r\n", kSimple, 0},
        Case{"stray_end_writes_nothing", "END:VCARD\r\nBEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\nEND:VCARD\r\n",
             kSimple, 0},
        Case{
            "agent_card_stays_inside_its_holder",
            "BEGIN:VCARD\r\nN:Boss\r\nAGENT:\r\nBEGIN:VCARD\r\nN:Agent\r\nEND:VCARD\r\nTEL:1\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nN:B\r\nEND:VCARD\r\n",
            {CardFile({"BEGIN:VCARD", "N:Boss", "AGENT:", "BEGIN:VCARD", "N:Agent", "END:VCARD", "TEL:1",
                       "END:VCARD"}),
             CardFile({"BEGIN:VCARD", "N:B", "END:VCARD"})},
            0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Splitter, UnfinishedLastCardIsNotWrittenAndIsReported) {
  const Scanned got = Scan("BEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:B\r\n");
  EXPECT_EQ(got.cards, kSimple);
  EXPECT_TRUE(got.insideCard);
}

TEST(Splitter, UnclosedNestedCardLeavesTheHolderUnfinished) {
  const Scanned got = Scan("BEGIN:VCARD\r\nBEGIN:VCARD\r\nEND:VCARD\r\n");
  EXPECT_TRUE(got.cards.empty());
  EXPECT_TRUE(got.insideCard);
}

TEST(Splitter, LongLineOutsideACardIsSkippedAndTheNextCardFound) {
  const std::string junk(3 << 20, 'x');
  const Scanned got = ScanInBlocks(junk + "\r\nBEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\n", 65536);
  EXPECT_EQ(got.cards, kSimple);
}

TEST(Splitter, LongLineInsideACardIsKeptWhole) {
  const std::string photo = "PHOTO:" + std::string(3 << 20, 'Q');
  const Scanned got = ScanInBlocks("BEGIN:VCARD\n" + photo + "\nEND:VCARD\n", 65536);
  EXPECT_EQ(got.cards, std::vector<std::string>{CardFile({"BEGIN:VCARD", photo, "END:VCARD"})});
}

// Byte-order marks and 16-bit sources.
const std::string kUtf8Mark = "\xEF\xBB\xBF";

TEST(SplitterMarks, Utf8MarkIsNotPartOfTheFirstLineAndStartsEveryCard) {
  const Scanned got = Scan(kUtf8Mark + "BEGIN:VCARD\nN:Ä\nEND:VCARD\nBEGIN:VCARD\nN:B\nEND:VCARD\n");
  ASSERT_EQ(got.cards.size(), 2u);
  EXPECT_EQ(got.cards[0], kUtf8Mark + CardFile({"BEGIN:VCARD", "N:Ä", "END:VCARD"}));
  EXPECT_EQ(got.cards[1], kUtf8Mark + CardFile({"BEGIN:VCARD", "N:B", "END:VCARD"}));
}

TEST(SplitterMarks, MarkAloneIsAnEmptySource) {
  const Scanned got = Scan(kUtf8Mark);
  EXPECT_TRUE(got.cards.empty());
  EXPECT_EQ(got.lines, 0u);
}

TEST(SplitterMarks, MarkBytesLaterInTheFileAreContent) {
  const Scanned got = Scan("BEGIN:VCARD\r\n" + kUtf8Mark + "N:A\r\nEND:VCARD\r\n");
  EXPECT_EQ(got.cards, std::vector<std::string>{CardFile({"BEGIN:VCARD", kUtf8Mark + "N:A", "END:VCARD"})});
}

TEST(SplitterMarks, ShortSourcesThatOnlyLookLikeAMarkAreBytes) {
  EXPECT_EQ(Scan("\xEF\xBB").lines, 1u);
  EXPECT_EQ(Scan("\xEF").lines, 1u);
}

// A 16-bit source in either byte order, with its mark or (as address books
// write them) without one; the cards carry the mark only if the source did.
struct Utf16Kind {
  bool big;
  bool marked;
  ByteOrder Order() const { return big ? ByteOrder::Big : ByteOrder::Little; }
  std::string Mark() const {
    if (!marked) return {};
    return big ? "\xFE\xFF" : "\xFF\xFE";
  }
};

class Utf16Source : public ::testing::TestWithParam<Utf16Kind> {};

TEST_P(Utf16Source, CardsAreCutOnCodeUnitsAndWrittenInTheSameByteOrder) {
  const ByteOrder big = GetParam().Order();
  const std::string mark = GetParam().Mark();
  // U+010D and U+0A0D hold a CR or LF byte in one half: they must not end lines.
  const std::u16string text =
      u"begin:vcard\r\nN:\u010D\u0A0D\u0D0A\r\n \u4E2D\r\r\nEND:VCARD  \nBEGIN:VCARD\rEND:VCARD";
  const Scanned got = Scan(mark + Utf16(text, big));
  ASSERT_EQ(got.cards.size(), 2u);
  EXPECT_EQ(got.cards[0],
            mark + Utf16(u"\r\nbegin:vcard\r\nN:\u010D\u0A0D\u0D0A\r\n \u4E2D\r\nEND:VCARD\r\n", big));
  EXPECT_EQ(got.cards[1], mark + Utf16(u"\r\nBEGIN:VCARD\r\nEND:VCARD\r\n", big));
}

TEST_P(Utf16Source, LoneLastByteStaysOnTheLastLine) {
  const ByteOrder big = GetParam().Order();
  const std::string mark = GetParam().Mark();
  const Scanned got = Scan(mark + Utf16(u"BEGIN:VCARD\r\nN:A\r\nEND:VCARD", big) + "Z");
  EXPECT_TRUE(got.cards.empty()) << "END:VCARD followed by a stray byte is not a boundary";
  EXPECT_TRUE(got.insideCard);
  EXPECT_EQ(got.lines, 3u);
}

TEST_P(Utf16Source, WordsInOtherScriptsAreNotFoldedToAscii) {
  const ByteOrder big = GetParam().Order();
  const std::string mark = GetParam().Mark();
  // Fullwidth letters: no ASCII case folding may turn them into the word.
  const Scanned got = Scan(mark + Utf16(u"X\r\n\uFF22EGIN:VCARD\r\nEND:VCARD\r\n", big));
  EXPECT_TRUE(got.cards.empty());
}

TEST_P(Utf16Source, SpacesAroundBoundaryWordsAreDroppedAndElsewhereKept) {
  const ByteOrder big = GetParam().Order();
  const std::string mark = GetParam().Mark();
  const Scanned got = Scan(mark + Utf16(u"BEGIN:VCARD\n  \n BEGIN:VC \nEND:VCARD   \n", big));
  ASSERT_EQ(got.cards.size(), 1u);
  EXPECT_EQ(got.cards[0], mark + Utf16(u"\r\nBEGIN:VCARD\r\n  \r\n BEGIN:VC \r\nEND:VCARD\r\n", big));
}

INSTANTIATE_TEST_SUITE_P(Splitter, Utf16Source,
                         ::testing::Values(Utf16Kind{false, true}, Utf16Kind{true, true},
                                           Utf16Kind{false, false}, Utf16Kind{true, false}),
                         [](const auto& p) {
                           return std::string(p.param.big ? "big_endian" : "little_endian") +
                                  (p.param.marked ? "_marked" : "_unmarked");
                         });

// Only 00 beside an ASCII character at the very start makes a source 16-bit
// without a mark; any other start, 8-bit exports above all, is read as bytes.
TEST(SplitterMarks, FirstTwoBytesDecideTheEncoding) {
  const struct {
    std::string head;
    SourceEncoding want;
  } cases[] = {
      {std::string("\0B", 2), SourceEncoding::Utf16Be},
      {std::string("B\0", 2), SourceEncoding::Utf16Le},
      {std::string("\0\x7F", 2), SourceEncoding::Utf16Be},
      {std::string("\x01\0", 2), SourceEncoding::Utf16Le},
      {std::string("\0\0", 2), SourceEncoding::Bytes},
      {std::string("\0\x80", 2), SourceEncoding::Bytes},
      {std::string("\x80\0", 2), SourceEncoding::Bytes},
      {"BE", SourceEncoding::Bytes},
      {"\xFF\xFE", SourceEncoding::Utf16LeMark},
      {"\xFE\xFF", SourceEncoding::Utf16BeMark},
      {"\xEF\xBB\xBF", SourceEncoding::Utf8Mark},
  };
  for (const auto& c : cases) {
    for (std::size_t block = 1; block <= c.head.size() + 1; ++block) {
      EXPECT_EQ(ScanFully(c.head + "GIN", block).statistics.encoding, c.want)
          << "head of " << c.head.size() << " bytes, blocks of " << block;
    }
  }
  EXPECT_EQ(ScanFully(std::string("\0", 1), 1).statistics.encoding, SourceEncoding::Bytes) << "a lone NUL";
}

TEST(SplitterMarks, UnmarkedUtf16OfOddLengthKeepsTheLastByteOnItsLine) {
  // Big-endian, two bytes only: one unit, one line.
  EXPECT_EQ(Scan(std::string("\0B", 2)).lines, 1u);
  EXPECT_EQ(Scan(std::string("\0B\0", 3)).lines, 1u);
  const Scanned got = Scan(Utf16(u"BEGIN:VCARD\r\nEND:VCARD\r\n", ByteOrder::Little) + "\r");
  ASSERT_EQ(got.cards.size(), 1u) << "a lone last byte 0D is not a CR unit";
  EXPECT_EQ(got.lines, 3u);
}

// Cards larger than the hold limit: handed on in parts as they are read, so
// what the scanner holds stays near the limit whatever the card's size.
TEST(BoundedMemory, LargeCardIsHandedOnInPartsAndStaysByteExact) {
  const std::string photo = "PHOTO:" + std::string(1 << 20, 'Q');
  const std::string source =
      "BEGIN:VCARD\nN:A\n" + photo + "\r\n \r\nEND:VCARD\nBEGIN:VCARD\nN:B\nEND:VCARD\n";
  const std::size_t block = 1000, hold = 4096;
  const ScanResult got = ScanFully(source, block, hold);
  ASSERT_EQ(got.scanned.cards.size(), 2u);
  EXPECT_EQ(got.scanned.cards[0], CardFile({"BEGIN:VCARD", "N:A", photo, " ", "END:VCARD"}));
  EXPECT_EQ(got.scanned.cards[1], CardFile({"BEGIN:VCARD", "N:B", "END:VCARD"}));
  EXPECT_GT(got.partsHanded, (1u << 20) / (hold + block));
  EXPECT_LE(got.largestHeld, hold + block) << "the card was held, not handed on";
}

TEST(BoundedMemory, LongRunOfSpacesIsNotHeldAndStillEndsInABoundary) {
  // A line of spaces may yet turn out to be a boundary line: the scanner
  // counts them instead of holding them.
  const std::string spaces(1 << 20, ' ');
  const std::string source = "BEGIN:VCARD\n" + spaces + "\n" + spaces + "END:VCARD" + spaces + "\n";
  const ScanResult got = ScanFully(source, 65536, 4096);
  ASSERT_EQ(got.scanned.cards.size(), 1u);
  EXPECT_EQ(got.scanned.cards[0], CardFile({"BEGIN:VCARD", spaces, "END:VCARD"}));
  EXPECT_LE(got.largestHeld, 4096u + 65536u);
}

// What the scanner reports of the source's shape.
TEST(ScanStatistics, CountsLineEndsByKindNestingStrayEndsAndTheUnfinishedCard) {
  const std::string source =
      "x\r\n"                                                    // 1, outside: CR LF
      "END:VCARD\n"                                              // 2, stray: LF
      "BEGIN:VCARD\r"                                            // 3: CR
      "AGENT:\r\r\n"                                             // 4: CR CR LF
      "BEGIN:VCARD\nEND:VCARD\nEND:VCARD\n"                      // 5-7: a card of 7 lines' bytes
      "end:vcard\nEND:VCARD\nEND:VCARD\nEND:VCARD\nEND:VCARD\n"  // 8-12: 5 strays
      "BEGIN:VCARD\nN:" +
      std::string(100, 'L') +
      "\nEND:VCARD\n"               // 13-15: the largest card
      "\n"                          // 16, outside
      "BEGIN:VCARD\nN:unfinished";  // 17-18
  for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}, source.size()}) {
    SCOPED_TRACE("blocks of " + std::to_string(block));
    const auto s = ScanFully(source, block).statistics;
    EXPECT_EQ(s.encoding, SourceEncoding::Bytes);
    EXPECT_EQ(s.lines, 18u);
    EXPECT_EQ(s.crLfEnds, 1u);
    EXPECT_EQ(s.crEnds, 1u);
    EXPECT_EQ(s.crCrLfEnds, 1u);
    EXPECT_EQ(s.lfEnds, 14u);
    EXPECT_EQ(s.linesOutsideCards, 8u);
    EXPECT_EQ(s.deepestNesting, 2u);
    EXPECT_TRUE(s.anyBeginLine);
    EXPECT_EQ(s.strayEndLines, 6u);
    EXPECT_EQ(s.firstStrayEndLines, (std::array<std::uint64_t, 5>{2, 8, 9, 10, 11}));
    EXPECT_EQ(s.unfinishedCardLine, 17u);
    EXPECT_EQ(s.largestCard, 2u);
    EXPECT_EQ(s.largestCardBytes,
              CardFile({"BEGIN:VCARD", "N:" + std::string(100, 'L'), "END:VCARD"}).size());
  }
}

TEST(ScanStatistics, LoneCrsAtTheEndAndSourcesWithoutCards) {
  const auto s = ScanFully("a\r\r", 1).statistics;
  EXPECT_EQ(s.lines, 2u);
  EXPECT_EQ(s.crEnds, 2u);
  EXPECT_FALSE(s.anyBeginLine);
  EXPECT_EQ(s.unfinishedCardLine, 0u);
  EXPECT_EQ(s.largestCard, 0u);
  const auto t = ScanFully("a\r\r\rb\r\r\n", 1).statistics;
  EXPECT_EQ(t.lines, 4u);
  EXPECT_EQ(t.crEnds, 3u);
  EXPECT_EQ(t.crCrLfEnds, 1u);
}

}  // namespace
}  // namespace quillmere::test
