// Naming a card's file after its contact: how each export writes a name,
// in which character set, what a file system refuses, two people of one
// name, and what a card without a name is called.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "card_namer.h"
#include "card_text.h"
#include "safe_stem.h"
#include "test_support.h"

namespace quillmere::test {
namespace {

namespace fs = std::filesystem;

std::span<const std::byte> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

std::string CardOf(const std::vector<std::string>& properties) {
  std::vector<std::string> lines{"BEGIN:VCARD", "VERSION:2.1"};
  lines.insert(lines.end(), properties.begin(), properties.end());
  lines.push_back("END:VCARD");
  return CardFile(lines);
}

NativeString NameOf(const std::string& card, std::uint64_t number = 7) {
  return CardNamer().Next(Bytes(card), number);
}

struct NameCase {
  const char* fault;
  std::vector<std::string> properties;
  const char* name;  // UTF-8, without ".vcf"
};

void ExpectNames(const std::vector<NameCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::string card = CardOf(c.properties);
    EXPECT_EQ(NameOf(card), N(std::string(c.name) + ".vcf"));
    // The same card streamed a byte at a time, as a card too large to hold
    // is named, must read the same: no line may be lost at a piece's edge.
    CardNameReader reader;
    for (const std::byte b : Bytes(card)) reader.Feed({&b, 1});
    const std::u32string stem = reader.Finish();
    EXPECT_EQ(stem.empty() ? N("vCard7.vcf") : NativeFromCodePoints(stem) + N(".vcf"),
              N(std::string(c.name) + ".vcf"));
  }
}

TEST(CardNameDecoding, HowExportsWriteAName) {
  ExpectNames({
      {"property name in lower case", {"fn:Jane Doe"}, "Jane Doe"},
      {"group before the name", {"item1.FN:Jane Doe"}, "Jane Doe"},
      {"parameters, one quoted with a colon and a semicolon",
       {R"(FN;LANGUAGE=en;X-SORT="a:b;c":Jane Doe)"},
       "Jane Doe"},
      {"folded with a space", {"FN:Jane", "  Doe"}, "Jane Doe"},
      {"folded with a tab", {"FN:Ja", "\tne Doe"}, "Jane Doe"},
      {"folded inside a UTF-8 sequence", {"FN:J\xC3", " \xA9r\xC3\xB4me"}, "J\xC3\xA9r\xC3\xB4me"},
      {"quoted-printable UTF-8",
       {"FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=A9r=C3=B4me"},
       "J\xC3\xA9r\xC3\xB4me"},
      {"bare 2.1 quoted-printable parameter, lower-case hex",
       {"FN;QUOTED-PRINTABLE:Ren=c3=a9"},
       "Ren\xC3\xA9"},
      {"soft line break joined", {"FN;ENCODING=QUOTED-PRINTABLE:Jane=20=", "Doe"}, "Jane Doe"},
      {"soft break inside an escape pair",
       {"FN;ENCODING=QUOTED-PRINTABLE:Ren=C3=", "=A9 Roy"},
       "Ren\xC3\xA9 Roy"},
      {"soft break whose next line starts like a property",
       {"FN;QUOTED-PRINTABLE:Jane=", "TEL:Doe"},
       "JaneTEL_Doe"},
      {"escapes", {R"(FN:Doe\, Jane\; Q\\R\nS)"}, "Doe, Jane; Q_R S"},
      {"N in given, additional, family order", {"N:Doe;Jane;Q.;Dr.;"}, "Jane Q. Doe"},
      {"N with empty parts left out", {"N:Doe;;;;"}, "Doe"},
      {"N with an escaped semicolon in the family name", {R"(N:Doe\;Smith;Jane)"}, "Jane Doe;Smith"},
      {"N in quoted-printable over a soft break",
       {"N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=AE=89=E8=97=A4;=E3=83=AD=", "=E3=82=A4=E3=83=89;;;"},
       "\xE3\x83\xAD\xE3\x82\xA4\xE3\x83\x89 \xE5\xAE\x89\xE8\x97\xA4"},
      {"ORG's first part", {"ORG:Acme Ltd.;Sales"}, "Acme Ltd"},
      {"a nested card's name is not the holder's",
       {"AGENT:", "BEGIN:VCARD", "FN:Agent Smith", "END:VCARD", "FN:Jane Doe"},
       "Jane Doe"},
      {"a nested card before a holder with only a number",
       {"AGENT:", "BEGIN:VCARD", "FN:Agent Smith", "END:VCARD", "TEL:555"},
       "555"},
      {"first FN wins", {"FN:Jane Doe", "FN:Someone Else"}, "Jane Doe"},
      {"tel: URI of vCard 4.0", {"TEL;VALUE=uri:tel:+1-555-0100"}, "+1-555-0100"},
  });
}

TEST(CardNameDecoding, AHugeLineBeforeTheNameIsNotHeldAndDoesNotHideIt) {
  const std::string photo = "PHOTO;ENCODING=b:" + std::string(3 << 20, 'A');
  const std::string card = CardOf({photo, "FN:Jane Doe"});
  CardNameReader reader;
  for (std::size_t at = 0; at < card.size(); at += 4096) {
    reader.Feed(Bytes(card).subspan(at, std::min<std::size_t>(4096, card.size() - at)));
  }
  EXPECT_EQ(NativeFromCodePoints(reader.Finish()), N("Jane Doe"));
}

TEST(CardNameCharsets, ValueBytesReadInTheirCharacterSet) {
  ExpectNames({
      {"ISO-8859-1", {"FN;CHARSET=ISO-8859-1:Ren\xE9"}, "Ren\xC3\xA9"},
      {"KOI8-R", {"FN;CHARSET=KOI8-R:\xE9\xD7\xC1\xCE"}, "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"},
      {"windows-1251", {"FN;CHARSET=windows-1251:\xC8\xE2\xE0\xED"}, "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"},
      // 0x5C is the second byte of 表: it must not start an escape, and a
      // real escape in Shift_JIS is still a backslash.
      {"Shift_JIS trail byte 0x5C", {"FN;CHARSET=SHIFT_JIS:\x95\x5C\x8E\x86"}, "\xE8\xA1\xA8\xE7\xB4\x99"},
      {"Shift_JIS escape",
       {"N;CHARSET=Shift_JIS:\x88\xC0\x93\xA1\\;x;\x83\x8D\x83\x43\x83\x68"},
       "\xE3\x83\xAD\xE3\x82\xA4\xE3\x83\x89 \xE5\xAE\x89\xE8\x97\xA4;x"},
      {"GB2312 in quoted-printable",
       {"FN;CHARSET=GB2312;ENCODING=QUOTED-PRINTABLE:=D5=C5=C8=FD"},
       "\xE5\xBC\xA0\xE4\xB8\x89"},
      {"no charset, valid UTF-8", {"FN:Zo\xC3\xAB"}, "Zo\xC3\xAB"},
      {"no charset, not UTF-8: Windows-1252", {"FN:\x93Zo\xEB\x94"}, "\xE2\x80\x9CZo\xC3\xAB\xE2\x80\x9D"},
      {"unknown charset, valid UTF-8", {"FN;CHARSET=X-UNHEARD-OF:Zo\xC3\xAB"}, "Zo\xC3\xAB"},
      {"unknown charset, not UTF-8", {"FN;CHARSET=X-UNHEARD-OF:Zo\xEB"}, "Zo\xC3\xAB"},
      {"UTF-8 label on Windows-1252 bytes", {"FN;CHARSET=UTF-8:Zo\xEB"}, "Zo\xC3\xAB"},
  });
}

TEST(CardNameCharsets, SixteenBitCardsReadInTheirOwnUnits) {
  // A UTF-16 card's units are its text, whatever CHARSET says.
  const std::string text = CardOf({"FN;CHARSET=ISO-8859-1:Zo\xC3\xAB \xF0\x9F\x98\x80 Chen"});
  const std::string expected = "Zo\xC3\xAB \xF0\x9F\x98\x80 Chen.vcf";
  struct Case {
    const char* fault;
    std::string card;
  } cases[] = {
      {"little-endian with mark", "\xFF\xFE" + Utf16(text, ByteOrder::Little)},
      {"big-endian with mark", "\xFE\xFF" + Utf16(text, ByteOrder::Big)},
      {"little-endian without mark", Utf16(text, ByteOrder::Little)},
      {"big-endian without mark", Utf16(text, ByteOrder::Big)},
      {"UTF-8 mark", "\xEF\xBB\xBF" + CardOf({"FN:Zo\xC3\xAB \xF0\x9F\x98\x80 Chen"})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    EXPECT_EQ(NameOf(c.card), N(expected));
    CardNameReader odd;  // pieces of odd sizes split every unit
    for (std::size_t at = 0; at < c.card.size(); at += 3) {
      odd.Feed(Bytes(c.card).subspan(at, std::min<std::size_t>(3, c.card.size() - at)));
    }
    EXPECT_EQ(NativeFromCodePoints(odd.Finish()) + N(".vcf"), N(expected));
  }
}

TEST(CardNameUnsafe, NamesEveryFileSystemAccepts) {
  ExpectNames({
      {"reserved characters", {R"(FN:a<b>c:d"e/f\\g|h?i*j)"}, "a_b_c_d_e_f_g_h_i_j"},
      {"control characters", {"FN;ENCODING=QUOTED-PRINTABLE:a=00b=1Fc=7Fd"}, "a_b_c_d"},
      {"white space runs, tabs and line breaks",
       {"FN;QUOTED-PRINTABLE:Jane =09=0D=0A Doe=C2=A0 Jr"},
       "Jane Doe Jr"},
      {"spaces and dots at the ends", {"FN: . Jane Doe Jr. . "}, "Jane Doe Jr"},
      {"device name", {"FN:Con"}, "Con_"},
      {"device name before a dot", {"FN:Nul.Ltd"}, "Nul_.Ltd"},
      {"device name before spaces and a dot", {"FN:aux .x"}, "aux_ .x"},
      {"numbered device names", {"FN:lpt9"}, "lpt9_"},
      {"a device name inside a longer word is fine", {"FN:Console"}, "Console"},
      {"COM10 is no device", {"FN:COM10"}, "COM10"},
  });
}

// Names a terminal or a file manager would show as something else.
TEST(CardNameUnsafe, NamesShowAsWhatTheyAre) {
  ExpectNames({
      {"C1 controls, a terminal's escape among them", {"FN:a\u0080b\u009Bc\u009Fd"}, "a_b_c_d"},
      {"windows-1252 bytes that decode to C1 controls",
       {"FN;ENCODING=QUOTED-PRINTABLE:a=81b=8Dc=8Fd=90e=9Df"},
       "a_b_c_d_e_f"},
      {"a right-to-left override turning gpj into jpg", {"FN:evil\u202Egpj"}, "evil_gpj"},
      {"every bidirectional control",
       {"FN:a\u061Cb\u200Ec\u200Fd\u202Ae\u202Bf\u202Cg\u202Dh\u2066i\u2067j\u2068k\u2069l"},
       "a_b_c_d_e_f_g_h_i_j_k_l"},
      {"byte-order mark inside a name", {"FN:Jane\uFEFFDoe"}, "Jane_Doe"},
      {"noncharacters", {"FN:a\uFDD0b\uFFFEc\U0001FFFFd"}, "a_b_c_d"},
      {"joiners that emoji and Persian names need stay",
       {"FN:\U0001F469\u200D\U0001F4BB \u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"},
       "\U0001F469\u200D\U0001F4BB \u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"},
      {"a combining accent composes", {"FN:Rene\u0301"}, "Ren\u00E9"},
      {"Hangul jamo compose into a syllable", {"FN:\u1112\u1161\u11AB"}, "\uD55C"},
  });
}

// Two names that look alike must not silently share a file, nor both look
// like the first: the later is "(2)" whichever way its accent was written.
TEST(CardNameDuplicates, OneNameWrittenTwoWaysIsOneName) {
  CardNamer namer;
  EXPECT_EQ(namer.Next(Bytes(CardOf({"FN:Ren\u00E9"})), 1), N("Ren\u00E9.vcf"));
  EXPECT_EQ(namer.Next(Bytes(CardOf({"FN:Rene\u0301"})), 2), N("Ren\u00E9 (2).vcf"));
  EXPECT_EQ(namer.Next(Bytes(CardOf({"FN:RENE\u0301"})), 3), N("REN\u00C9 (3).vcf"));
}

TEST(CardNameUnsafe, LongNamesCutAtWholeCharacters) {
  // 99 ASCII letters then emoji: the 100th code point is a surrogate pair
  // on Windows and four bytes natively; it is kept whole or not at all.
  const std::u32string pair = std::u32string(99, U'a') + U"\U0001F600\U0001F600";
  EXPECT_EQ(SafeFileStem(pair), std::u32string(99, U'a') + U"\U0001F600");
  // Cut, then trimmed again: the cut must not leave a space at the end.
  EXPECT_EQ(SafeFileStem(std::u32string(99, U'b') + U" c"), std::u32string(99, U'b'));
  // Within Linux's 255 bytes: 100 three-byte characters are 300 bytes.
  EXPECT_EQ(SafeFileStem(std::u32string(150, U'\u8868')), std::u32string(66, U'\u8868'));
  // Exactly 200 bytes (50 four-byte characters) is still within the limit.
  EXPECT_EQ(SafeFileStem(std::u32string(60, U'\U0001F600')), std::u32string(50, U'\U0001F600'));
}

TEST(CardNameFallbacks, NextPropertyWhenOneGivesNothing) {
  ExpectNames({
      {"empty FN falls to N", {"FN:", "N:Doe;Jane"}, "Jane Doe"},
      {"FN of dots falls to N", {"FN:...", "N:Doe;Jane"}, "Jane Doe"},
      {"N of empty parts falls to ORG", {"N:;;;;", "ORG:Acme"}, "Acme"},
      {"ORG whose first part is empty falls to EMAIL", {"ORG:;Sales", "EMAIL:j@x.org"}, "j@x.org"},
      {"first EMAIL", {"EMAIL;HOME:a@x.org", "EMAIL:b@x.org"}, "a@x.org"},
      {"TEL last", {"TEL;CELL:+1 555 0100", "TEL:2"}, "+1 555 0100"},
      {"N wins over ORG even after it", {"ORG:Acme", "N:Doe;Jane"}, "Jane Doe"},
      {"nothing names it", {"NOTE:FN:Jane Doe", "X-FN:Jane"}, "vCard7"},
      {"only a nested card's name", {"AGENT:", "BEGIN:VCARD", "FN:Agent", "END:VCARD"}, "vCard7"},
  });
  EXPECT_EQ(NameOf(CardOf({}), 12), N("vCard12.vcf"));
}

TEST(CardNameDuplicates, SecondOfANameIsNumbered) {
  CardNamer namer;
  struct Step {
    std::u32string stem;
    const char* name;
  } steps[] = {
      {U"Jane Doe", "Jane Doe.vcf"},
      {U"JANE DOE", "JANE DOE (2).vcf"},      // Windows would find the first under this name
      {U"Jane Doe (3)", "Jane Doe (3).vcf"},  // a card's own name
      {U"jane doe", "jane doe (4).vcf"},      // (3) is taken by that card
      {U"Ren\u00E9", "Ren\u00E9.vcf"},
      {U"REN\u00C9", "REN\u00C9 (2).vcf"},  // case beyond ASCII
      {U"\u0418\u0432\u0430\u043D", "\u0418\u0432\u0430\u043D.vcf"},
      {U"\u0438\u0432\u0430\u043D", "\u0438\u0432\u0430\u043D (2).vcf"},
      {U"", "vCard9.vcf"},
      {U"vcard9", "vcard9 (2).vcf"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(namer.Next(step.stem, 9), N(step.name));
  }
}

TEST(CardNameDuplicates, ManyOfOneNameAreNumberedWithoutAGap) {
  CardNamer namer;
  NativeString last;
  for (int i = 0; i < 20000; ++i) last = namer.Next(U"Sam Smith", i + 1);
  EXPECT_EQ(last, N("Sam Smith (20000).vcf"));
}

// Whatever the bytes, the name is one every file system takes, and a card
// read in pieces reads as the whole of it.
TEST(CardNameUnsafe, AnyBytesGiveASafeNameWholeOrInPieces) {
  std::mt19937 random(2026);
  const std::vector<std::string> pieces = {"FN",        "N",           "ORG",        "EMAIL",
                                           "TEL",       "item1.",      ";CHARSET=",  "UTF-8",
                                           "SHIFT_JIS", "X-NONE",      ";ENCODING=", "QUOTED-PRINTABLE",
                                           ":",         ";",           "=",          "=C3",
                                           "=A9",       "\\",          "\\n",        " ",
                                           "\t",        ".",           "CON",        "\r\n",
                                           "\r\n ",     "BEGIN:VCARD", "END:VCARD",  "\xEF\xBB\xBF",
                                           "\xFF\xFE",  "\x00",        "\x95\x5C",   "\xC3"};
  for (int round = 0; round < 3000; ++round) {
    std::string card = "\r\nBEGIN:VCARD";
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      if (random() % 4 == 0) {
        card += static_cast<char>(random() % 256);
      } else {
        card += pieces[random() % pieces.size()];
      }
    }
    card += "\r\nEND:VCARD\r\n";
    if (random() % 3 == 0) card = Utf16(card, random() % 2 == 0 ? ByteOrder::Big : ByteOrder::Little);
    SCOPED_TRACE(::testing::PrintToString(card));
    CardNameReader whole;
    whole.Feed(Bytes(card));
    const std::u32string stem = whole.Finish();
    CardNameReader pieced;
    for (std::size_t at = 0; at < card.size();) {
      const std::size_t size = std::min<std::size_t>(1 + random() % 9, card.size() - at);
      pieced.Feed(Bytes(card).subspan(at, size));
      at += size;
    }
    ASSERT_EQ(pieced.Finish(), stem);
    if (stem.empty()) continue;
    ASSERT_LE(stem.size(), 101u);
    ASSERT_NE(stem.front(), U' ');
    ASSERT_NE(stem.front(), U'.');
    ASSERT_NE(stem.back(), U'.');
    ASSERT_NE(stem.back(), U' ');
    for (const char32_t c : stem) {
      ASSERT_TRUE(c >= 0x20 && c != 0x7F &&
                  std::u32string_view(U"<>:\"/\\|?*").find(c) == std::u32string::npos &&
                  !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF)
          << static_cast<unsigned long>(c);
    }
    ASSERT_EQ(SafeFileStem(stem), stem) << "a safe name must stay as it is";
  }
}

// Real exports, each card cut as the splitter cuts it.
const fs::path kCorpus = QUILLMERE_CORPUS_DIR;

std::vector<NativeString> NamesIn(const std::string& file) {
  std::vector<NativeString> names;
  ScratchFolder out;
  RecordingOwner owner;
  EXPECT_EQ(RecordedSplit({.source = (kCorpus / file).native(), .folder = out.Text()}, owner),
            RunOutcome::Finished);
  CardNamer namer;
  const auto cards = OutputCards(out.Path());
  for (std::size_t i = 0; i < cards.size(); ++i) names.push_back(namer.Next(Bytes(cards[i]), i + 1));
  return names;
}

TEST(CardNameCorpus, RealExportsGiveTheirContactsNames) {
  if (!fs::exists(kCorpus / "SOURCES.md"))
    GTEST_SKIP() << "no corpus at " << kCorpus << " (../shared absent)";
  const std::string n4 = "\xC3\x91 \xC3\x91 \xC3\x91 \xC3\x91";
  const std::string greek =
      "\xCE\xB2\xCE\xB3\xCE\xB4\xCE\xB5\xCE\xB1\xCE\xB2\xCE\xB3\xCE\xB4"
      "1";
  std::string greek11;
  for (int i = 0; i < 11; ++i) greek11 += greek;
  const std::string ando = "\xE5\xAE\x89\xE8\x97\xA4\xE3\x83\xAD\xE3\x82\xA4\xE3\x83\x89";
  struct Case {
    const char* file;
    std::vector<std::string> names;
  } cases[] = {
      // 2.1, quoted-printable UTF-8 with soft breaks; two cards with only an email
      {"mangstadt__ez-vcard__John_Doe_ANDROID.vcf",
       {"john.doe@company.com", "jane.doe@company.com", n4 + " \xC3\x91",
        n4 + " " + n4 + " \xC3\x91 \xC3\x91 \xC3\x91", n4, "\xC3\x91\xC3\x91\xC3\x91\xC3\x91"}},
      // 2.1, raw Shift_JIS N and no FN
      {"CyanogenMod__android_frameworks_opt_vcard__v21_multiple_entry.vcf",
       {ando + "3", ando + "4", ando + "5"}},
      // folded FN of 99 characters, folded between two of them
      {"KDE__kcontacts__vcard9.vcf", {greek11}},
      // 4.0, a SORT-AS parameter whose quoted value holds a semicolon
      {"CyanogenMod__android_frameworks_opt_vcard__v40_sort_as.vcf",
       {"\xE5\xAE\x89\xE8\x97\xA4 \xE3\x83\xAD\xE3\x82\xA4\xE3\x83\x89"}},
      // iOS, CR CR LF: the trailing dot of "Sr." goes
      {"mangstadt__ez-vcard__John_Doe_IPHONE.vcf", {"Mr. John Richter James Doe Sr"}},
      {"CyanogenMod__android_frameworks_opt_vcard__v30_ios_613_multiline.vcf", {"Bob Smith"}},
      // UTF-16 with a mark
      {"FolkerKinzel__VCards__v3Utf16Bom.vcf",
       {"Folker Kinzel",
        "KMS Au\xC3\x9F"
        "enstelle"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (!fs::exists(kCorpus / c.file)) {
      ADD_FAILURE() << "corpus file missing: " << c.file;
      continue;
    }
    std::vector<NativeString> expected;
    for (const auto& name : c.names) expected.push_back(N(name + ".vcf"));
    EXPECT_EQ(NamesIn(c.file), expected);
  }
}

}  // namespace
}  // namespace quillmere::test
