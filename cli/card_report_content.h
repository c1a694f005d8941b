#pragma once
// What the report reads of one card's properties: its version, pictures,
// quoted-printable and undeclared 8-bit text, from the lines CardReport's
// reader hands on. Included by card_report.cpp alone, whose own parts these
// are; apart only to keep each file one idea.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "card_report.h"

namespace quillmere::cli {
namespace {

// A property's name and parameters are held up to this; a longer head is
// no property an importer knows, and its line is counted as value.
constexpr std::size_t kLongestHead = 4096;
// Of a VERSION, BEGIN or END value, this much is kept.
constexpr std::size_t kTextKept = 16;
constexpr std::uint64_t kPictureLimit = 224 * 1024;

constexpr std::uint16_t kLf = 0x0A, kCr = 0x0D, kSpace = 0x20;
// Stands for the lone last byte of a UTF-16 source: it matches nothing.
constexpr std::uint16_t kNoCharacter = 0xFFFF;

template <std::size_t kUnitSize, bool kBigEndian>
std::uint16_t Decode(const std::byte* p) {
  if constexpr (kUnitSize == 1) {
    return std::to_integer<std::uint16_t>(p[0]);
  } else {
    const auto first = std::to_integer<unsigned>(p[0]), second = std::to_integer<unsigned>(p[1]);
    return static_cast<std::uint16_t>(kBigEndian ? (first << 8) | second : (second << 8) | first);
  }
}

// Whether any unit in [p, q) is past ASCII; 8-bit text eight bytes at a time.
template <std::size_t kUnitSize, bool kBigEndian>
bool AnyPastAscii(const std::byte* p, const std::byte* q) {
  if constexpr (kUnitSize == 1) {
    std::uint64_t bits = 0;
    for (; q - p >= 8; p += 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      bits |= word;
    }
    for (; p < q; ++p) bits |= std::to_integer<std::uint64_t>(*p);
    return (bits & 0x8080808080808080u) != 0;
  } else {
    for (; p < q; p += kUnitSize) {
      if (Decode<kUnitSize, kBigEndian>(p) >= 0x80) return true;
    }
    return false;
  }
}

constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Eight bytes at p, the first the lowest.
std::uint64_t EightBytes(const std::byte* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// A byte of `word` that is c has its high bit set in the result; so may
// bytes after such a byte, but none before the first: enough to find it.
std::uint64_t FirstEqual(std::uint64_t word, unsigned char c) {
  const std::uint64_t x = word ^ (0x0101010101010101u * c);
  return (x - 0x0101010101010101u) & ~x & kHighBits;
}

// Where a name can end, or have something in it that makes it more than a
// name: the first colon or semicolon, or dot (a group's), or quote; or &
// or *, which the masks cannot tell from those two and which only send a
// line the slower way.
std::uint64_t NameMarks(std::uint64_t word) {
  return FirstEqual(word & 0xFEFEFEFEFEFEFEFEu, ':') | FirstEqual(word & 0xF3F3F3F3F3F3F3F3u, '"');
}

// Up to eight bytes of a word in lower case, to be compared with eight
// bytes of text at once: its letters in either case, anything else exactly.
class PackedWord {
 public:
  consteval explicit PackedWord(std::string_view word) {
    for (std::size_t i = word.size(); i-- > 0;) {
      bytes_ = (bytes_ << 8) | static_cast<unsigned char>(word[i]);
      letters_ = (letters_ << 8) | (word[i] >= 'a' && word[i] <= 'z' ? 0x20u : 0u);
      mask_ = (mask_ << 8) | 0xFFu;
    }
  }
  // Whether the first bytes of `text` (as EightBytes reads them) are the word.
  bool Starts(std::uint64_t text) const { return ((text | letters_) & mask_) == bytes_; }

 private:
  std::uint64_t bytes_ = 0, letters_ = 0, mask_ = 0;
};

// Whether text is the word. A character at a time: a library compare is a
// call, and these are made for every card.
bool Is(const std::string& text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (text[i] != word[i]) return false;
  return true;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The scanner's test for a boundary word's character: a letter in either
// case, anything else exactly.
bool SameLetter(std::uint16_t unit, char expected) {
  const bool letter = expected >= 'a' && expected <= 'z';
  if (!letter) return unit == static_cast<unsigned char>(expected);
  return unit < 0x80 && (unit | 0x20) == static_cast<unsigned char>(expected);
}

// Whether [word, q) is the boundary word, as the matcher reads it (its
// letters in either case), and then only spaces.
bool IsBoundaryLine(const std::byte* word, const std::byte* q, std::string_view lower) {
  const std::size_t size = lower.size();
  if (static_cast<std::size_t>(q - word) < size) return false;
  if constexpr (std::endian::native == std::endian::little) {
    // Both words are longer than eight bytes: their first eight and their
    // last eight cover them.
    static constexpr PackedWord kBeginFirst("begin:vc"), kBeginLast("in:vcard"), kEndFirst("end:vcar"),
        kEndLast("nd:vcard");
    const bool begin = size == 11;
    if (!(begin ? kBeginFirst : kEndFirst).Starts(EightBytes(word)) ||
        !(begin ? kBeginLast : kEndLast).Starts(EightBytes(word + size - 8)))
      return false;
  } else {
    for (std::size_t i = 0; i < size; ++i)
      if (!SameLetter(std::to_integer<std::uint16_t>(word[i]), lower[i])) return false;
  }
  return std::all_of(word + lower.size(), q, [](std::byte b) { return b == std::byte{' '}; });
}

// Whether the line [p, q) may be a boundary line: spaces, a boundary word
// and spaces.
bool MayBeBoundaryLine(const std::byte* p, const std::byte* q) {
  while (p < q && *p == std::byte{' '}) ++p;
  return p < q && (IsBoundaryLine(p, q, "begin:vcard") || IsBoundaryLine(p, q, "end:vcard"));
}

bool IsHexDigitPastAscii(std::uint16_t unit) {
  return (unit >= '8' && unit <= '9') || (unit >= 'A' && unit <= 'F') || (unit >= 'a' && unit <= 'f');
}

// Whether text, in any ASCII letter case, is the upper-case word.
bool IsWord(std::string_view text, std::string_view word) {
  return text.size() == word.size() &&
         std::equal(text.begin(), text.end(), word.begin(), [](char c, char w) { return Upper(c) == w; });
}

// Reads one card's lines as a split writes them (boundary lines without
// the spaces around them), in as many pieces as they come, for the facts
// that need more than counting: version, pictures, quoted-printable and
// undeclared 8-bit text. Folded lines (a leading space or tab), lines
// without a colon (the data lines of a 2.1 picture) and lines after a
// quoted-printable soft break belong to the property before them.
class CardContent {
 public:
  explicit CardContent(std::size_t unitBytes) : unitBytes_(unitBytes) {}
  void Start();
  // More of the line being read; no CR or LF.
  template <std::size_t kUnitSize, bool kBigEndian>
  void Take(const std::byte* p, const std::byte* q);
  // A whole line of an 8-bit source, no CR or LF in it, as Take over all
  // of it and then EndLine, but read where it lies: its head is not held.
  // The bytes up to `readable` may be read, as far as the block goes.
  void TakeLine(const std::byte* p, const std::byte* q, const std::byte* readable);
  // Takes such a line, as TakeLine would, if it is sure that the line is no
  // boundary line and changes no fact; false, having taken nothing, if not.
  bool Skim(const std::byte* p, const std::byte* q, const std::byte* readable);
  // A boundary line, "BEGIN:VCARD" or "END:VCARD" as a split writes it.
  // False when it is read as value after a soft break: give its units then.
  bool TakeBoundary(bool begin);
  void EndLine();
  // A line now would only be counted if it is folded: the property is read
  // for its size and 8-bit text only.
  bool OnlyCounting() const { return mode_ == Mode::LineStart && !qp_ && !keepText_; }
  // Such a line, after its fold: all of it is value.
  template <std::size_t kUnitSize, bool kBigEndian>
  void TakeFolded(const std::byte* p, const std::byte* q) {
    TakeValue<kUnitSize, kBigEndian>(p, q);
  }
  // Whether folds that come now are a picture's value, of which only the
  // size counts: the picture's units of such folds are then Add()ed.
  bool InPicture() const { return property_ == Property::Picture && !qp_ && !afterSoftBreak_; }
  // Whether plain lines (TakePlainLines) may come now: text past ASCII can
  // no longer change a fact, no quoted-printable value is open, and a fold
  // would go on a property that changes none.
  bool TakesPlainLines() const {
    return mode_ == Mode::LineStart && !textMatters_ && !qp_ && !afterSoftBreak_ &&
           (property_ == Property::Other || property_ == Property::None);
  }
  // The card began with BEGIN:VCARD and a VERSION line with this value; if
  // `whole`, the next line begins a property, and nothing goes on the
  // version.
  void StartWithVersion(std::string_view version, bool whole) {
    Start();
    depth_ = 1;  // as the BEGIN property leaves it
    property_ = Property::Version;
    qp_ = charset_ = nonAscii_ = false;
    keepText_ = true;
    std::memcpy(text_, version.data(), version.size());
    textSize_ = version.size();
    valueUnits_ = version.size();
    if (!whole) return;
    // As EndSpecialProperty ends it: digits and a dot need no trimming and
    // have no case.
    version_.assign(version);
    textMatters_ = Is(version_, "2.1");
    property_ = Property::None;
  }
  // Whether an END:VCARD line now ends the card: it is read as a boundary,
  // not as value after a soft break.
  bool EndsPlainly() const { return mode_ == Mode::LineStart && !afterSoftBreak_; }
  // Plain lines were taken, one of them a property's head: the last such
  // property is the one open now.
  void TookPlainHead() {
    EndProperty();
    property_ = Property::Other;
    charset_ = nonAscii_ = keepText_ = false;
    valueUnits_ = 0;
  }
  void AddPictureUnits(std::uint64_t units) { valueUnits_ += units; }
  // The card has ended: fills in version, picture, quoted-printable and
  // undeclared 8-bit text.
  void Finish(CardFacts& facts);

 private:
  enum class Mode { LineStart, Head, Value };
  template <std::size_t kUnitSize, bool kBigEndian>
  const std::byte* TakeHead(const std::byte* p, const std::byte* q);
  void TakeHeadInPlace(const std::byte* p, const std::byte* q, const std::byte* readable);
  void TakeQuotedHead(const std::byte* p, const std::byte* q);
  void TakeAsValue(const std::byte* p, const std::byte* q);
  template <std::size_t kUnitSize, bool kBigEndian>
  void HoldHead(const std::byte* p, const std::byte* q);
  template <std::size_t kUnitSize, bool kBigEndian>
  void TakeValue(const std::byte* p, const std::byte* q);
  void TakeValueUnit(std::uint16_t unit);
  void StartProperty(std::string_view head, bool headNonAscii);
  void StartProperty(std::string_view name, std::string_view parameters, bool headNonAscii);
  enum class Property { None, Other, Picture, Version, Begin, End };
  void StartProperty(Property kind, std::string_view parameters, bool headNonAscii);
  static Property KindOf(std::uint64_t word, std::size_t size);
  void EndProperty() {
    if (property_ == Property::Other) {
      // Most properties: only their text past ASCII is of interest.
      anyUndeclared_ = anyUndeclared_ || (nonAscii_ && !charset_);
      property_ = Property::None;
    } else if (property_ != Property::None) {
      EndSpecialProperty();
    }
  }
  void EndSpecialProperty();

  std::size_t unitBytes_;
  Mode mode_ = Mode::LineStart;
  // The line so far, until its colon: name and parameters.
  char head_[kLongestHead];
  std::size_t headSize_ = 0;
  std::uint64_t headUnits_ = 0;  // of the line so far, held or not
  bool headTooLong_ = false;
  bool headNonAscii_ = false;
  bool inQuotes_ = false;
  bool afterSoftBreak_ = false;  // the last line of a QP value ended in "="
  bool lastWasEquals_ = false;
  // The property being read.
  Property property_ = Property::None;
  bool qp_ = false, charset_ = false, nonAscii_ = false;
  bool keepText_ = false;  // VERSION, BEGIN, END: their value is read
  char text_[kTextKept];
  std::size_t textSize_ = 0;
  std::uint64_t valueUnits_ = 0;
  bool afterEquals_ = false;  // in a quoted-printable value, just after "="
  // The card so far.
  std::uint64_t depth_ = 0;
  std::string version_;
  std::uint64_t largestPicture_ = 0;
  bool anyQp_ = false;
  bool anyUndeclared_ = false;
  // Whether 8-bit text can still change a fact: not once the card's
  // version is known to be other than 2.1.
  bool textMatters_ = true;
};

void CardContent::Start() {
  mode_ = Mode::LineStart;
  afterSoftBreak_ = lastWasEquals_ = afterEquals_ = false;
  property_ = Property::None;
  depth_ = 0;
  version_.clear();
  largestPicture_ = 0;
  anyQp_ = anyUndeclared_ = false;
  textMatters_ = true;
}

template <std::size_t kUnitSize, bool kBigEndian>
void CardContent::Take(const std::byte* p, const std::byte* q) {
  if (p == q) return;
  if (mode_ == Mode::LineStart) {
    const std::uint16_t unit = Decode<kUnitSize, kBigEndian>(p);
    if (unit == ' ' || unit == '\t') {
      mode_ = Mode::Value;  // a folded line: the fold is not the value's
      p += kUnitSize;
    } else if (afterSoftBreak_) {
      mode_ = Mode::Value;
    } else {
      mode_ = Mode::Head;
      headSize_ = 0;
      headUnits_ = 0;
      headTooLong_ = headNonAscii_ = inQuotes_ = false;
    }
  }
  if (mode_ == Mode::Head) p = TakeHead<kUnitSize, kBigEndian>(p, q);
  if (mode_ == Mode::Value && p < q) TakeValue<kUnitSize, kBigEndian>(p, q);
}

void CardContent::TakeLine(const std::byte* p, const std::byte* q, const std::byte* readable) {
  if (p < q) {
    const std::byte first = *p;
    if (first == std::byte{' '} || first == std::byte{'\t'}) {
      mode_ = Mode::Value;
      TakeValue<1, false>(p + 1, q);
    } else if (afterSoftBreak_) {
      mode_ = Mode::Value;
      TakeValue<1, false>(p, q);
    } else {
      TakeHeadInPlace(p, q, readable);
    }
  }
  EndLine();
}

// Most lines of a card change no fact but a size or the text past ASCII
// of a property: the folds of a value that is not quoted-printable, and new
// properties whose name is none that matters (BEGIN, END, LOGO, PHOTO,
// VERSION), with no group before it, whose parameters cannot say
// QUOTED-PRINTABLE (or CHARSET, while text can matter). They are told apart
// here by their first eight bytes, and their parameters if they have any.
bool CardContent::Skim(const std::byte* p, const std::byte* q, const std::byte* readable) {
  if constexpr (std::endian::native != std::endian::little) return false;
  if (qp_ || afterSoftBreak_) return false;
  if (p == q) return true;  // an empty line: nothing to take
  if (readable - p < 8) return false;
  const std::uint64_t word = EightBytes(p);
  const auto first = static_cast<unsigned char>(word);
  if (first == ' ' || first == '\t') {
    // A fold, unless spaces stand before a boundary word; the value of a
    // version or a boundary is read in full.
    if (keepText_) return false;
    const unsigned second = static_cast<unsigned char>(word >> 8) | 0x20u;
    if (first == ' ' && (second == ' ' || second == 'b' || second == 'e') && MayBeBoundaryLine(p, q))
      return false;
    TakeValue<1, false>(p + 1, q);
    return true;
  }
  const auto nameSize = static_cast<std::size_t>(std::countr_zero(NameMarks(word)) / 8);
  const std::byte* at = p + nameSize;
  if (nameSize >= 8 || at >= q || (std::to_integer<unsigned>(*at) & 0xFEu) != ':' ||
      (nameSize > 0 && (at[-1] == std::byte{' '} || at[-1] == std::byte{'\t'})))
    return false;
  const Property kind = KindOf(word, nameSize);
  if (kind == Property::Version && *at == std::byte{':'}) {
    // A card's VERSION line, without parameters: taken as TakeLine takes it.
    EndProperty();
    StartProperty(Property::Version, {}, false);
    mode_ = Mode::Value;
    TakeValue<1, false>(at + 1, q);
    EndLine();
    return true;
  }
  if (kind != Property::Other) return false;
  if (*at == std::byte{';'}) {
    // Parameters, to the colon; with a quote, a Q (or a C while text can
    // matter) they are read in full.
    for (;; at += 8) {
      if (readable - at < 8) return false;
      const std::uint64_t bytes = EightBytes(at), lower = bytes | 0x2020202020202020u;
      const std::uint64_t stops = FirstEqual(bytes, ':') | FirstEqual(bytes, '"');
      const std::uint64_t doubts = FirstEqual(lower, 'q') | (textMatters_ ? FirstEqual(lower, 'c') : 0);
      if (std::countr_zero(doubts) < std::countr_zero(stops)) return false;
      if (stops) {
        at += std::countr_zero(stops) / 8;
        break;
      }
    }
    if (at >= q || *at != std::byte{':'} || static_cast<std::size_t>(at - p) > kLongestHead) return false;
  }
  EndProperty();
  property_ = Property::Other;
  charset_ = keepText_ = false;
  // Head and value alike, as StartProperty and TakeValue would find it.
  nonAscii_ = textMatters_ && AnyPastAscii<1, false>(p, q);
  valueUnits_ = 0;
  return true;
}

// A line's head read where it lies, as TakeHead reads it held: the first
// colon outside quotes ends it, unless more than kLongestHead units come
// before; without one the whole line is value. Most heads are a name, or a
// name and parameters, without group or quotes: they are read eight bytes
// at a time, the rest as TakeQuotedHead reads them.
void CardContent::TakeHeadInPlace(const std::byte* p, const std::byte* q, const std::byte* readable) {
  if constexpr (std::endian::native == std::endian::little) {
    if (readable - p >= 8) {
      const std::uint64_t word = EightBytes(p);
      const auto nameSize = static_cast<std::size_t>(std::countr_zero(NameMarks(word)) / 8);
      const std::byte* const nameEnd = p + nameSize;
      const bool plainName =
          nameSize < 8 && nameEnd < q && (*nameEnd == std::byte{':'} || *nameEnd == std::byte{';'}) &&
          (nameSize == 0 || (nameEnd[-1] != std::byte{' '} && nameEnd[-1] != std::byte{'\t'}));
      if (plainName) {
        const std::byte* stop = nameEnd;
        if (*nameEnd == std::byte{';'}) {
          // The parameters end at the first colon; a quote leaves them to the slow reading.
          for (stop = nameEnd + 1; readable - stop >= 8; stop += 8) {
            const std::uint64_t ends = FirstEqual(EightBytes(stop), ':') | FirstEqual(EightBytes(stop), '"');
            if (ends || q - stop <= 8) {
              stop = std::min(stop + std::countr_zero(ends) / 8, q);
              break;
            }
          }
          if (readable - stop < 8)
            stop =
                std::find_if(stop, q, [](std::byte b) { return b == std::byte{':'} || b == std::byte{'"'}; });
        }
        if (stop < q && *stop == std::byte{':'} && static_cast<std::size_t>(stop - p) <= kLongestHead) {
          EndProperty();
          // Bytes past ASCII in a head count only while text can matter.
          const bool pastAscii = textMatters_ && AnyPastAscii<1, false>(p, stop);
          StartProperty(KindOf(word, nameSize),
                        {reinterpret_cast<const char*>(nameEnd), static_cast<std::size_t>(stop - nameEnd)},
                        pastAscii);
          mode_ = Mode::Value;
          TakeValue<1, false>(stop + 1, q);
          return;
        }
      }
    }
  }
  TakeQuotedHead(p, q);
}

// What a name of `size` bytes, the first ones of `word`, no group before
// it, makes of its property.
CardContent::Property CardContent::KindOf(std::uint64_t word, std::size_t size) {
  static constexpr PackedWord kEnd("end"), kLogo("logo"), kPhoto("photo"), kBegin("begin"),
      kVersion("version");
  switch (size) {
    case 3:
      return kEnd.Starts(word) ? Property::End : Property::Other;
    case 4:
      return kLogo.Starts(word) ? Property::Picture : Property::Other;
    case 5:
      return kPhoto.Starts(word)   ? Property::Picture
             : kBegin.Starts(word) ? Property::Begin
                                   : Property::Other;
    case 7:
      return kVersion.Starts(word) ? Property::Version : Property::Other;
    default:
      return Property::Other;
  }
}

// A head with quotes in it, where a colon may be a parameter's.
void CardContent::TakeQuotedHead(const std::byte* p, const std::byte* q) {
  const std::byte* const last = p + std::min<std::size_t>(static_cast<std::size_t>(q - p), kLongestHead);
  bool quoted = false;
  unsigned high = 0;
  for (const std::byte* at = p; at <= last && at < q; ++at) {
    const auto c = std::to_integer<unsigned char>(*at);
    high |= c;
    if (c == '"') quoted = !quoted;
    if (c != ':' || quoted) continue;
    EndProperty();
    StartProperty({reinterpret_cast<const char*>(p), static_cast<std::size_t>(at - p)}, (high & 0x80) != 0);
    mode_ = Mode::Value;
    TakeValue<1, false>(at + 1, q);
    return;
  }
  TakeAsValue(p, q);
}

// A line that never met its colon: as EndLine takes such a head.
void CardContent::TakeAsValue(const std::byte* p, const std::byte* q) {
  mode_ = Mode::Head;
  headUnits_ = static_cast<std::uint64_t>(q - p);
  headNonAscii_ = AnyPastAscii<1, false>(p, q);
}

// Up to the colon that ends the head, if it is in [p, q); returns where the
// value begins, or q. Runs of units that are neither colon nor quote are
// held at once.
template <std::size_t kUnitSize, bool kBigEndian>
const std::byte* CardContent::TakeHead(const std::byte* p, const std::byte* q) {
  while (p < q) {
    const std::byte* special = p;
    bool high = false;
    for (; special < q; special += kUnitSize) {
      const std::uint16_t unit = Decode<kUnitSize, kBigEndian>(special);
      if (unit == ':' || unit == '"') break;
      high = high || unit >= 0x80;
    }
    HoldHead<kUnitSize, kBigEndian>(p, special);
    headNonAscii_ = headNonAscii_ || high;
    if (special == q) return q;
    if (Decode<kUnitSize, kBigEndian>(special) == ':' && !inQuotes_ && !headTooLong_) {
      EndProperty();
      StartProperty({head_, headSize_}, headNonAscii_);
      mode_ = Mode::Value;
      return special + kUnitSize;
    }
    if (Decode<kUnitSize, kBigEndian>(special) == '"') inQuotes_ = !inQuotes_;
    p = special;
    HoldHead<kUnitSize, kBigEndian>(p, p + kUnitSize);
    p += kUnitSize;
  }
  return q;
}

// Units of the head, kept up to kLongestHead (a unit past ASCII as one
// byte that matches no ASCII character) and counted.
template <std::size_t kUnitSize, bool kBigEndian>
void CardContent::HoldHead(const std::byte* p, const std::byte* q) {
  const auto units = static_cast<std::size_t>(q - p) / kUnitSize;
  headUnits_ += units;
  const std::size_t kept = std::min(units, kLongestHead - headSize_);
  if (kept < units) headTooLong_ = true;
  if constexpr (kUnitSize == 1) {
    std::memcpy(head_ + headSize_, p, kept);
  } else {
    for (std::size_t i = 0; i < kept; ++i) {
      const std::uint16_t unit = Decode<kUnitSize, kBigEndian>(p + i * kUnitSize);
      head_[headSize_ + i] = unit < 0x80 ? static_cast<char>(unit) : '\x80';
    }
  }
  headSize_ += kept;
}

// The bulk of a card is values: unless their text is needed, they are only
// counted and looked at for units past ASCII, and that only while it can
// still change a fact.
template <std::size_t kUnitSize, bool kBigEndian>
void CardContent::TakeValue(const std::byte* p, const std::byte* q) {
  if (qp_ || keepText_) {
    for (; p < q; p += kUnitSize) TakeValueUnit(Decode<kUnitSize, kBigEndian>(p));
    return;
  }
  valueUnits_ += static_cast<std::uint64_t>(q - p) / kUnitSize;
  // A picture's bytes are data, not text: only their number matters.
  if (textMatters_ && !nonAscii_ && !charset_ && !anyUndeclared_ && property_ != Property::Picture)
    nonAscii_ = AnyPastAscii<kUnitSize, kBigEndian>(p, q);
}

bool CardContent::TakeBoundary(bool begin) {
  if (mode_ != Mode::LineStart || afterSoftBreak_) return false;
  // As TakeHead and StartProperty would read it: a property of that name
  // without parameters, and VCARD its value.
  EndProperty();
  property_ = begin ? Property::Begin : Property::End;
  qp_ = charset_ = nonAscii_ = false;
  keepText_ = true;
  std::memcpy(text_, "VCARD", 5);
  textSize_ = 5;
  valueUnits_ = 5;
  afterEquals_ = lastWasEquals_ = false;
  mode_ = Mode::Value;
  return true;
}

void CardContent::TakeValueUnit(std::uint16_t unit) {
  ++valueUnits_;
  if (unit >= 0x80) nonAscii_ = true;
  if (qp_) {
    if (afterEquals_ && IsHexDigitPastAscii(unit)) nonAscii_ = true;
    afterEquals_ = unit == '=';
  }
  if (keepText_ && textSize_ < kTextKept) text_[textSize_++] = unit < 0x80 ? static_cast<char>(unit) : '?';
  lastWasEquals_ = unit == '=';
}

// The head just read (up to its colon) names the property that starts.
void CardContent::StartProperty(std::string_view head, bool headNonAscii) {
  const std::size_t semicolon = head.find(';');
  const std::string_view parameters = semicolon == std::string_view::npos ? "" : head.substr(semicolon);
  std::string_view name = head.substr(0, semicolon);
  if (const auto dot = name.rfind('.'); dot != std::string_view::npos)
    name.remove_prefix(dot + 1);  // a group
  StartProperty(name, parameters, headNonAscii);
}

// The name without its group; the parameters from their first semicolon.
void CardContent::StartProperty(std::string_view name, std::string_view parameters, bool headNonAscii) {
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  Property kind = Property::Other;
  switch (name.size()) {
    case 3:
      if (IsWord(name, "END")) kind = Property::End;
      break;
    case 4:
      if (IsWord(name, "LOGO")) kind = Property::Picture;
      break;
    case 5:
      if (IsWord(name, "PHOTO")) kind = Property::Picture;
      if (IsWord(name, "BEGIN")) kind = Property::Begin;
      break;
    case 7:
      if (IsWord(name, "VERSION")) kind = Property::Version;
      break;
  }
  StartProperty(kind, parameters, headNonAscii);
}

void CardContent::StartProperty(Property kind, std::string_view parameters, bool headNonAscii) {
  property_ = kind;
  // Both words looked for in one pass over the parameters.
  qp_ = charset_ = false;
  for (std::size_t at = 0; at < parameters.size(); ++at) {
    const auto c = static_cast<unsigned char>(parameters[at] | 0x20);  // a letter in lower case
    if (c == 'q' && IsWord(parameters.substr(at, 16), "QUOTED-PRINTABLE")) qp_ = true;
    if (c == 'c' && IsWord(parameters.substr(at, 8), "CHARSET=")) charset_ = true;
  }
  nonAscii_ = headNonAscii;
  keepText_ = property_ != Property::Other && property_ != Property::Picture;
  textSize_ = 0;
  valueUnits_ = 0;
  afterEquals_ = false;
  anyQp_ = anyQp_ || qp_;
}

// A picture's, a version's or a boundary's: what they mean is taken.
void CardContent::EndSpecialProperty() {
  if (property_ == Property::Picture) largestPicture_ = std::max(largestPicture_, valueUnits_ * unitBytes_);
  if (nonAscii_ && !charset_) anyUndeclared_ = true;
  if (keepText_) {
    std::string_view value(text_, textSize_);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (property_ == Property::Begin && IsWord(value, "VCARD")) ++depth_;
    if (property_ == Property::End && IsWord(value, "VCARD") && depth_ > 0) --depth_;
    if (property_ == Property::Version && depth_ == 1 && version_.empty()) {
      version_.assign(value);
      for (char& c : version_) c = Upper(c);
      textMatters_ = Is(version_, "2.1");
    }
  }
  property_ = Property::None;
}

void CardContent::EndLine() {
  if (mode_ == Mode::Head) {
    // No colon: the line goes on the value of the property before it.
    valueUnits_ += headUnits_;
    nonAscii_ = nonAscii_ || headNonAscii_;
  }
  afterSoftBreak_ = qp_ && lastWasEquals_ && mode_ == Mode::Value;
  lastWasEquals_ = false;
  afterEquals_ = false;  // "=" at a line's end is a soft break, no escape
  mode_ = Mode::LineStart;
}

void CardContent::Finish(CardFacts& facts) {
  EndProperty();
  if (version_.empty()) {
    facts.version.assign("none");
  } else {
    facts.version.assign(version_);
  }
  facts.largestPicture = largestPicture_;
  facts.quotedPrintable = anyQp_;
  facts.undeclared8Bit = anyUndeclared_ && Is(facts.version, "2.1");
}

}  // namespace
}  // namespace quillmere::cli
