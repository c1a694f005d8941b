// The scanner on its own, fed in every block size a read might return, so
// a line end or a 16-bit unit split across two reads is always covered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card_scanner.h"
#include "test_support.h"

namespace quillmere::test {
namespace {

struct Scanned {
  std::vector<std::string> cards;
  std::size_t lines = 0;
  bool insideCard = false;
  friend bool operator==(const Scanned&, const Scanned&) = default;
};

class Collector : public LineSink {
 public:
  explicit Collector(CardScanner& scanner, Scanned& out) : scanner_(scanner), out_(out) {}
  bool LineEnded(bool cardDone) override {
    ++out_.lines;
    if (cardDone) {
      const auto card = scanner_.Card();
      out_.cards.emplace_back(reinterpret_cast<const char*>(card.data()), card.size());
      scanner_.ClearCard();
    }
    return true;
  }

 private:
  CardScanner& scanner_;
  Scanned& out_;
};

Scanned ScanInBlocks(const std::string& source, std::size_t block) {
  CardScanner scanner;
  Scanned out;
  Collector sink(scanner, out);
  const auto* bytes = reinterpret_cast<const std::byte*>(source.data());
  for (std::size_t at = 0; at < source.size(); at += block) {
    scanner.Feed({bytes + at, std::min(block, source.size() - at)}, sink);
  }
  scanner.Finish(sink);
  out.insideCard = scanner.InsideCard();
  return out;
}

// Scans with every block size from 1 to the whole source and checks that
// each gives the same result as one whole read.
Scanned Scan(const std::string& source) {
  const Scanned whole = ScanInBlocks(source, source.size() + 1);
  for (std::size_t block = 1; block <= source.size(); ++block) {
    EXPECT_EQ(ScanInBlocks(source, block), whole) << "read in blocks of " << block << " bytes";
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

// Encodes ASCII/Latin-1 text as UTF-16 code units in the given byte order.
std::string Utf16(const std::u16string& text, bool bigEndian) {
  std::string out;
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

class Utf16Source : public ::testing::TestWithParam<bool> {};

TEST_P(Utf16Source, CardsAreCutOnCodeUnitsAndWrittenInTheSameByteOrder) {
  const bool big = GetParam();
  const std::string mark = big ? "\xFE\xFF" : "\xFF\xFE";
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
  const bool big = GetParam();
  const std::string mark = big ? "\xFE\xFF" : "\xFF\xFE";
  const Scanned got = Scan(mark + Utf16(u"BEGIN:VCARD\r\nN:A\r\nEND:VCARD", big) + "Z");
  EXPECT_TRUE(got.cards.empty()) << "END:VCARD followed by a stray byte is not a boundary";
  EXPECT_TRUE(got.insideCard);
  EXPECT_EQ(got.lines, 3u);
}

TEST_P(Utf16Source, WordsInOtherScriptsAreNotFoldedToAscii) {
  const bool big = GetParam();
  const std::string mark = big ? "\xFE\xFF" : "\xFF\xFE";
  // Fullwidth letters: no ASCII case folding may turn them into the word.
  const Scanned got = Scan(mark + Utf16(u"\uFF22EGIN:VCARD\r\nEND:VCARD\r\n", big));
  EXPECT_TRUE(got.cards.empty());
}

INSTANTIATE_TEST_SUITE_P(Splitter, Utf16Source, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "big_endian" : "little_endian"; });

TEST(SplitterMarks, Utf16WithoutAMarkIsReadAsBytesAndFindsNoCard) {
  const Scanned got = Scan(Utf16(u"BEGIN:VCARD\r\nEND:VCARD\r\n", false));
  EXPECT_TRUE(got.cards.empty());
}

}  // namespace
}  // namespace quillmere::test
