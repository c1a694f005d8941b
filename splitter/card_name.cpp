#include "card_name.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "text_charset.h"

namespace quillmere {
namespace {

// Units kept of a line that may name the card: far more than any name, far
// less than a photo.
constexpr std::size_t kLineCap = std::size_t{16} << 10;
constexpr std::size_t kMaxCodePoints = 100;
constexpr std::size_t kMaxUtf8Bytes = 200;

// The properties that can name a card, best first.
enum Prop : std::size_t { kFn, kN, kOrg, kEmail, kTel, kPropCount, kNone = kPropCount };

template <class Unit>
char32_t Code(Unit u) {
  return static_cast<char32_t>(static_cast<std::make_unsigned_t<Unit>>(u));
}

char32_t AsciiUpper(char32_t c) {
  return c >= 'a' && c <= 'z' ? c - 0x20 : c;
}

template <class Unit>
bool EqualsNoCase(std::basic_string_view<Unit> text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (AsciiUpper(Code(text[i])) != static_cast<unsigned char>(upper[i])) return false;
  }
  return true;
}

template <class Unit>
std::basic_string_view<Unit> TrimBlanks(std::basic_string_view<Unit> text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Where the property's name and parameters end: the first colon outside
// double quotes (vCard 4.0 quotes parameter values that hold colons).
template <class Unit>
std::size_t HeaderEnd(std::basic_string_view<Unit> line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) return i;
  }
  return std::basic_string_view<Unit>::npos;
}

template <class Unit>
Prop PropOf(std::basic_string_view<Unit> header) {
  std::size_t end = 0;
  while (end < header.size() && header[end] != ';') ++end;
  auto name = TrimBlanks(header.substr(0, end));
  if (const auto dot = name.rfind('.'); dot != name.npos) name.remove_prefix(dot + 1);
  if (EqualsNoCase(name, "FN")) return kFn;
  if (EqualsNoCase(name, "N")) return kN;
  if (EqualsNoCase(name, "ORG")) return kOrg;
  if (EqualsNoCase(name, "EMAIL")) return kEmail;
  if (EqualsNoCase(name, "TEL")) return kTel;
  return kNone;
}

struct Params {
  bool quotedPrintable = false;
  std::string charset;
};

template <class Unit>
std::string Ascii(std::basic_string_view<Unit> text) {
  std::string out;
  for (const Unit u : text) out += Code(u) < 0x80 ? static_cast<char>(Code(u)) : '?';
  return out;
}

// The parameters that change how the value reads, after the property name.
template <class Unit>
Params ParamsOf(std::basic_string_view<Unit> header) {
  Params params;
  bool quoted = false;
  std::size_t start = header.npos;
  for (std::size_t i = 0; i <= header.size(); ++i) {
    if (i < header.size() && header[i] == '"') quoted = !quoted;
    if (i < header.size() && (header[i] != ';' || quoted)) continue;
    if (start != header.npos) {
      auto param = TrimBlanks(header.substr(start, i - start));
      const auto equals = param.find('=');
      auto key = TrimBlanks(param.substr(0, equals));
      auto value = equals == param.npos ? param.substr(param.size()) : TrimBlanks(param.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      if (equals == param.npos && EqualsNoCase(key, "QUOTED-PRINTABLE")) params.quotedPrintable = true;
      if (EqualsNoCase(key, "ENCODING") && EqualsNoCase(value, "QUOTED-PRINTABLE"))
        params.quotedPrintable = true;
      if (EqualsNoCase(key, "CHARSET")) params.charset = Ascii(value);
    }
    start = i + 1;
  }
  return params;
}

int HexValue(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  c = AsciiUpper(c);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::size_t Utf8Size(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// "=XX" gives byte XX; a "=" that starts no such pair stays as it is. A
// UTF-16 card's units past ASCII (never written by a real exporter) are
// kept as their UTF-8.
template <class Unit>
std::string DecodeQuotedPrintable(std::basic_string_view<Unit> value) {
  std::string bytes;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char32_t c = Code(value[i]);
    if (c == '=' && i + 2 < value.size()) {
      const int high = HexValue(Code(value[i + 1]));
      const int low = HexValue(Code(value[i + 2]));
      if (high >= 0 && low >= 0) {
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    if (c == '=' && i + 1 == value.size()) break;  // a soft break with nothing after it
    AppendUtf8(bytes, c);
  }
  return bytes;
}

// Strict UTF-8 (no overlong forms, no surrogates); false when not valid.
bool DecodeUtf8(std::string_view bytes, std::u32string& text) {
  text.resize(bytes.size());
  std::size_t out = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      text[out++] = b;
      ++i;
      continue;
    }
    std::size_t extra;
    char32_t c, least;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, c = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, c = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, c = b & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= bytes.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    text[out++] = c;
    i += extra + 1;
  }
  text.resize(out);
  return true;
}

// Windows-1252; its five unassigned bytes read as the C1 controls of the
// same number, as Windows itself reads them.
void DecodeWindows1252(std::string_view bytes, std::u32string& text) {
  static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                         0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  text.clear();
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    text += b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b;
  }
}

bool IsUtf8Name(std::string_view charset) {
  std::string lower;
  for (const char c : charset) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
  return lower == "utf-8" || lower == "utf8";
}

void DecodeBytes(std::string_view bytes, const std::string& charset, std::u32string& text) {
  if (!charset.empty() && !IsUtf8Name(charset) && DecodeCharset(charset, bytes, text)) return;
  if (!DecodeUtf8(bytes, text)) DecodeWindows1252(bytes, text);
}

// A lone surrogate is kept as itself; the name rules make it "_".
void DecodeUtf16(std::u16string_view units, std::u32string& text) {
  text.clear();
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      text += 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else {
      text += c;
    }
  }
}

// Undoes the escapes \, \; \\ and \n (\N), a line break becoming a space;
// any other backslash stays. With split, unescaped semicolons end parts.
std::vector<std::u32string> Unescape(std::u32string_view text, bool split) {
  std::vector<std::u32string> parts(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    if (c == ';' && split) {
      parts.emplace_back();
    } else if (c == '\\' && i + 1 < text.size()) {
      const char32_t next = text[++i];
      if (next == ',' || next == ';' || next == '\\') {
        parts.back() += next;
      } else if (next == 'n' || next == 'N') {
        parts.back() += ' ';
      } else {
        parts.back() += c;
        parts.back() += next;
      }
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// Unescape without splitting, in place: the common case of FN.
void UnescapeWhole(std::u32string& text) {
  if (text.find('\\') == text.npos) return;
  text = Unescape(text, false).front();
}

// The text a property's value gives for the card's name, in place.
void NameText(Prop prop, std::u32string& text) {
  switch (prop) {
    case kFn:
    case kEmail:
      UnescapeWhole(text);
      return;
    case kTel:
      UnescapeWhole(text);
      // A vCard 4.0 number is often a tel: URI.
      if (text.size() > 4 && AsciiUpper(text[0]) == 'T' && AsciiUpper(text[1]) == 'E' &&
          AsciiUpper(text[2]) == 'L' && text[3] == ':') {
        text.erase(0, 4);
      }
      return;
    case kOrg:
      text = Unescape(text, true).front();
      return;
    case kN: {
      auto parts = Unescape(text, true);
      parts.resize(std::max<std::size_t>(parts.size(), 3));
      std::u32string name;
      for (const auto* part : {&parts[1], &parts[2], &parts[0]}) {
        if (part->empty()) continue;
        if (!name.empty()) name += ' ';
        name += *part;
      }
      text = std::move(name);
      return;
    }
    default:
      text.clear();
  }
}

void MakeSafe(std::u32string& text);

// The stem a whole logical line gives, or nothing.
template <class Unit>
void StemOf(Prop prop, std::basic_string_view<Unit> line, std::u32string& text) {
  text.clear();
  const std::size_t colon = HeaderEnd(line);
  if (colon == line.npos) return;
  const Params params = ParamsOf(line.substr(0, colon));
  const auto value = line.substr(colon + 1);
  if (params.quotedPrintable) {
    DecodeBytes(DecodeQuotedPrintable(value), params.charset, text);
  } else if constexpr (std::is_same_v<Unit, char16_t>) {
    DecodeUtf16(value, text);
  } else {
    DecodeBytes(value, params.charset, text);
  }
  NameText(prop, text);
  MakeSafe(text);
}

template <class Unit>
bool IsBoundary(std::basic_string_view<Unit> line, int& depthChange) {
  if (EqualsNoCase(line, "BEGIN:VCARD")) return depthChange = 1, true;
  if (EqualsNoCase(line, "END:VCARD")) return depthChange = -1, true;
  return false;
}

}  // namespace

// Reads the card's lines in one unit size: cuts them at CR LF (the only line
// end a written card has), joins folded and soft-broken lines into logical
// lines, and keeps the first logical line of each naming property at the
// card's own level.
template <class Unit>
class LineReader {
 public:
  using View = std::basic_string_view<Unit>;

  void Feed(const Unit* p, std::size_t n) {
    const Unit* const end = p + n;
    while (p < end && !done_) {
      if (skipLf_) {
        skipLf_ = false;
        if (*p == '\n') {
          ++p;
          continue;
        }
      }
      const Unit* cr = Find(p, end, '\r');
      if (cr == end) {
        Hold(p, end);
        return;
      }
      if (held_ == 0) {
        Line(View(p, static_cast<std::size_t>(cr - p)), static_cast<std::size_t>(cr - p),
             cr > p ? cr[-1] : Unit{});
      } else {
        Hold(p, cr);
        Line(View(line_), held_, last_);
        line_.clear();
        held_ = 0;
      }
      p = cr + 1;
      skipLf_ = true;
    }
  }

  const std::u32string& Finish() {
    if (!done_ && held_ > 0) Line(View(line_), held_, last_);
    if (!done_) Close();
    for (std::size_t prop = kN; prop < kPropCount && !done_; ++prop) {
      if (!have_[prop]) continue;
      StemOf(static_cast<Prop>(prop), View(found_[prop]), result_);
      done_ = !result_.empty();
    }
    if (!done_) result_.clear();
    return result_;
  }

  // Keeps the buffers' memory for the next card.
  void Reset() {
    line_.clear();
    held_ = 0;
    last_ = Unit{};
    skipLf_ = false;
    depth_ = 0;
    quotedPrintable_ = softBreak_ = false;
    current_ = kNone;
    logical_.clear();
    have_ = {};
    for (auto& found : found_) found.clear();
    result_.clear();
    done_ = false;
  }

 private:
  static const Unit* Find(const Unit* p, const Unit* end, Unit unit) {
    if constexpr (sizeof(Unit) == 1) {
      const void* hit = std::memchr(p, unit, static_cast<std::size_t>(end - p));
      return hit ? static_cast<const Unit*>(hit) : end;
    } else {
      return std::find(p, end, unit);
    }
  }

  // Keeps the start of a line that continues in the next piece.
  void Hold(const Unit* p, const Unit* end) {
    if (p == end) return;
    const auto n = static_cast<std::size_t>(end - p);
    if (line_.size() < kLineCap) line_.append(p, std::min(n, kLineCap - line_.size()));
    held_ += n;
    last_ = end[-1];
  }

  // One physical line: text is its start (all of it up to kLineCap units),
  // length its whole length, last its last unit.
  void Line(View text, std::size_t length, Unit last) {
    const bool softBroken = softBreak_ && length > 0;
    const bool folded = length > 0 && (text[0] == ' ' || text[0] == '\t');
    int depthChange = 0;
    if ((softBroken || folded) && !IsBoundary(text, depthChange)) {
      if (current_ != kNone) {
        if (softBroken) {
          if (!logical_.empty() && logical_.back() == '=') logical_.pop_back();
        } else {
          text.remove_prefix(1);
        }
        Keep(text);
      }
      softBreak_ = quotedPrintable_ && last == '=';
      return;
    }
    Close();
    if (done_) return;
    softBreak_ = false;
    quotedPrintable_ = false;
    if (IsBoundary(text, depthChange)) {
      if (depthChange > 0) {
        ++depth_;
      } else if (depth_ > 0) {
        --depth_;
      }
      return;
    }
    const std::size_t colon = HeaderEnd(text);
    if (colon == text.npos) return;
    const View header = text.substr(0, colon);
    // Most lines say nothing of quoted-printable: spare them the parsing.
    const bool mayBeQp =
        std::any_of(header.begin(), header.end(), [](Unit u) { return u == 'Q' || u == 'q'; });
    quotedPrintable_ = mayBeQp && ParamsOf(header).quotedPrintable;
    softBreak_ = quotedPrintable_ && last == '=';
    if (depth_ != 1) return;
    const Prop prop = PropOf(header);
    if (prop == kNone || have_[prop]) return;
    current_ = prop;
    Keep(text);
  }

  void Keep(View text) {
    if (logical_.size() < kLineCap) logical_.append(text.substr(0, kLineCap - logical_.size()));
  }

  // Ends the logical line being kept; a name from FN ends the reading.
  void Close() {
    if (current_ == kNone) return;
    const Prop prop = current_;
    current_ = kNone;
    have_[prop] = true;
    if (prop == kFn) {
      StemOf(prop, View(logical_), result_);
      logical_.clear();
      done_ = !result_.empty();
      return;
    }
    found_[prop].assign(logical_);
    logical_.clear();
  }

  std::basic_string<Unit> line_;  // start of a physical line split across pieces
  std::size_t held_ = 0;          // its whole length so far
  Unit last_{};                   // its last unit so far
  bool skipLf_ = false;           // a CR ended the last piece
  std::uint64_t depth_ = 0;
  bool quotedPrintable_ = false;  // the current logical line's value is quoted-printable
  bool softBreak_ = false;        // … and its last physical line ended in "="
  Prop current_ = kNone;          // what the logical line being kept names
  std::basic_string<Unit> logical_;
  std::array<bool, kPropCount> have_{};
  std::array<std::basic_string<Unit>, kPropCount> found_;
  std::u32string result_;
  bool done_ = false;
};

class CardNameReader::Impl {
 public:
  void Feed(std::span<const std::byte> bytes) {
    if (units_ == Units::Undecided) {
      const std::size_t take = std::min(bytes.size(), 3 - head_.size());
      for (const std::byte b : bytes.first(take)) head_ += static_cast<char>(b);
      bytes = bytes.subspan(take);
      if (head_.size() < 3) return;
      Decide();
    }
    FeedDecided(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  const std::u32string& Finish() {
    if (units_ == Units::Undecided) Decide();
    return units_ == Units::Bytes ? bytes_.Finish() : wide_.Finish();
  }

  void Reset() {
    units_ = Units::Undecided;
    head_.clear();
    hasOdd_ = false;
    bytes_.Reset();
    wide_.Reset();
  }

 private:
  enum class Units { Undecided, Bytes, Utf16Le, Utf16Be };

  // The mark, or the way the card's leading CR LF is written.
  void Decide() {
    const auto at = [&](std::size_t i) {
      return i < head_.size() ? static_cast<unsigned char>(head_[i]) : -1;
    };
    std::size_t skip = 0;
    units_ = Units::Bytes;
    if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
      skip = 3;
    } else if (at(0) == 0xFF && at(1) == 0xFE) {
      units_ = Units::Utf16Le, skip = 2;
    } else if (at(0) == 0xFE && at(1) == 0xFF) {
      units_ = Units::Utf16Be, skip = 2;
    } else if (at(0) == 0x0D && at(1) == 0x00) {
      units_ = Units::Utf16Le;
    } else if (at(0) == 0x00 && at(1) == 0x0D) {
      units_ = Units::Utf16Be;
    }
    std::string head = std::move(head_);
    head_.clear();
    FeedDecided(head.data() + std::min(skip, head.size()), head.size() - std::min(skip, head.size()));
  }

  void FeedDecided(const char* p, std::size_t n) {
    if (units_ == Units::Bytes) {
      bytes_.Feed(p, n);
      return;
    }
    wideBuffer_.clear();
    const bool big = units_ == Units::Utf16Be;
    const auto unit = [big](unsigned char first, unsigned char second) {
      return static_cast<char16_t>(big ? (first << 8) | second : (second << 8) | first);
    };
    std::size_t i = 0;
    if (hasOdd_ && n > 0) {
      wideBuffer_ += unit(odd_, static_cast<unsigned char>(p[0]));
      hasOdd_ = false;
      i = 1;
    }
    for (; i + 1 < n; i += 2) {
      wideBuffer_ += unit(static_cast<unsigned char>(p[i]), static_cast<unsigned char>(p[i + 1]));
    }
    if (i < n) {
      odd_ = static_cast<unsigned char>(p[i]);
      hasOdd_ = true;
    }
    wide_.Feed(wideBuffer_.data(), wideBuffer_.size());
  }

  Units units_ = Units::Undecided;
  std::string head_;
  unsigned char odd_ = 0;
  bool hasOdd_ = false;
  std::u16string wideBuffer_;
  LineReader<char> bytes_;
  LineReader<char16_t> wide_;
};

CardNameReader::CardNameReader() : impl_(std::make_unique<Impl>()) {}
CardNameReader::~CardNameReader() = default;
void CardNameReader::Feed(std::span<const std::byte> bytes) {
  impl_->Feed(bytes);
}
const std::u32string& CardNameReader::Finish() {
  return impl_->Finish();
}
void CardNameReader::Reset() {
  impl_->Reset();
}

namespace {

constexpr bool IsWhiteSpace(char32_t c) {
  if (c < 0x80) return (c >= 0x09 && c <= 0x0D) || c == 0x20;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Beyond ASCII: C1 controls (U+009B is a terminal's escape; windows-1252's
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D decode to them), the bidirectional
// controls that make "evil\u202Egpj.vcf" show as "evilfcv.jpg", the
// byte-order mark, noncharacters and what is no character at all. The
// joiners U+200C and U+200D stay: emoji and Persian names need them.
constexpr bool IsUnsafeBeyondAscii(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF ||
         (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE || (c >= 0xD800 && c <= 0xDFFF) ||
         c > 0x10FFFF;
}

constexpr bool IsUnsafe(char32_t c) {
  if (c >= 0x80) return IsUnsafeBeyondAscii(c);
  switch (c) {
    case '<':
    case '>':
    case ':':
    case '"':
    case '/':
    case '\\':
    case '|':
    case '?':
    case '*':
    case 0x7F:
      return true;
    default:
      return c < 0x20;
  }
}

void TrimEnds(std::u32string& text) {
  const auto keep = [](char32_t c) { return c != ' ' && c != '.'; };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), keep));
  text.erase(std::find_if(text.rbegin(), text.rend(), keep).base(), text.end());
}

// Names Windows keeps for devices in every folder, whatever follows the
// first dot; superscript digits count too.
bool IsDeviceName(std::u32string_view word) {
  if (word.size() == 3) {
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL"}) {
      if (std::equal(word.begin(), word.end(), device.begin(),
                     [](char32_t a, char b) { return AsciiUpper(a) == static_cast<unsigned char>(b); })) {
        return true;
      }
    }
    return false;
  }
  if (word.size() == 4) {
    const std::u32string start{AsciiUpper(word[0]), AsciiUpper(word[1]), AsciiUpper(word[2])};
    const char32_t digit = word[3];
    const bool numbered = (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    return numbered && (start == U"COM" || start == U"LPT");
  }
  if (word.size() == 6 || word.size() == 7) {
    std::u32string upper;
    for (const char32_t c : word) upper += AsciiUpper(c);
    return upper == U"CONIN$" || upper == U"CONOUT$";
  }
  return false;
}

// What becomes of each ASCII character in a name: kept, "_" or a space.
enum class AsciiClass : unsigned char { Keep, Unsafe, Space };
constexpr std::array<AsciiClass, 128> kAscii = [] {
  std::array<AsciiClass, 128> table{};
  for (char32_t c = 0; c < 128; ++c) {
    table[c] = IsWhiteSpace(c) ? AsciiClass::Space : IsUnsafe(c) ? AsciiClass::Unsafe : AsciiClass::Keep;
  }
  return table;
}();

// In place: each character is read before its place is written.
void MakeSafe(std::u32string& stem) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < stem.size(); ++i) {
    const char32_t c = stem[i];
    if (c < 0x80) {
      const AsciiClass kind = kAscii[c];
      if (kind == AsciiClass::Keep) {
        stem[out++] = c;
      } else if (kind == AsciiClass::Unsafe) {
        stem[out++] = U'_';
      } else if (out == 0 || stem[out - 1] != ' ') {
        stem[out++] = ' ';
      }
    } else if (IsWhiteSpace(c)) {
      if (out == 0 || stem[out - 1] != ' ') stem[out++] = ' ';
    } else {
      stem[out++] = IsUnsafe(c) ? U'_' : c;
    }
  }
  stem.resize(out);
  // One name however its accents were written, so that two that look alike
  // are told apart by a "(2)". Below U+0300 nothing composes.
  if (std::any_of(stem.begin(), stem.end(), [](char32_t c) { return c >= 0x300; })) ComposeNfc(stem);
  TrimEnds(stem);
  std::size_t count = 0, bytes = 0;
  while (count < stem.size() && count < kMaxCodePoints && bytes + Utf8Size(stem[count]) <= kMaxUtf8Bytes) {
    bytes += Utf8Size(stem[count++]);
  }
  stem.resize(count);
  TrimEnds(stem);
  std::size_t word = std::min(stem.find('.'), stem.size());
  while (word > 0 && stem[word - 1] == ' ') --word;
  if (IsDeviceName(std::u32string_view(stem).substr(0, word))) stem.insert(word, 1, U'_');
}

}  // namespace

std::u32string SafeFileStem(std::u32string_view text) {
  std::u32string stem(text);
  MakeSafe(stem);
  return stem;
}

namespace {

NativeString& AppendAscii(NativeString& text, std::string_view ascii) {
  text.append(ascii.begin(), ascii.end());
  return text;
}

}  // namespace

void NativeFromCodePoints(std::u32string_view text, NativeString& out) {
  out.clear();
  if constexpr (sizeof(NativeChar) == 2) {
    for (const char32_t c : text) {
      if (c >= 0x10000) {
        out += static_cast<NativeChar>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<NativeChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        out += static_cast<NativeChar>(c);
      }
    }
  } else {
    for (const char32_t c : text) {
      if (c < 0x80) {
        out += static_cast<NativeChar>(c);
      } else {
        std::string utf8;
        AppendUtf8(utf8, c);
        out.append(utf8.begin(), utf8.end());
      }
    }
  }
}

NativeString NativeFromCodePoints(std::u32string_view text) {
  NativeString out;
  NativeFromCodePoints(text, out);
  return out;
}

NativeString CardFileName(std::span<const std::byte> card, std::uint64_t number) {
  CardNameReader reader;
  reader.Feed(card);
  const std::u32string stem = reader.Finish();
  if (stem.empty()) return Native("vCard") + NativeDecimal(number) + Native(".vcf");
  return NativeFromCodePoints(stem) + Native(".vcf");
}

NativeString CardNamer::Next(std::span<const std::byte> card, std::uint64_t number) {
  reader_.Reset();
  reader_.Feed(card);
  return Next(reader_.Finish(), number);
}

namespace {

// FNV-1a over the key's units, continued from an earlier part of the key.
std::uint64_t HashOn(std::uint64_t hash, const NativeChar* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    hash = (hash ^ static_cast<std::make_unsigned_t<NativeChar>>(p[i])) * 0x100000001B3ULL;
  }
  return hash;
}

std::uint64_t HashOn(std::uint64_t hash, std::string_view ascii) {
  for (const char c : ascii) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
  return hash;
}

constexpr std::uint64_t kFnvStart = 0xCBF29CE484222325ULL;

}  // namespace

bool CardNamer::HashSet::Insert(std::uint64_t hash) {
  hash += hash == 0;  // 0 marks a free slot
  if (2 * (used_ + 1) > slots_.size()) {
    std::vector<std::uint64_t> old(2 * slots_.size());
    old.swap(slots_);
    used_ = 0;
    for (const std::uint64_t h : old) {
      if (h != 0) Insert(h);
    }
  }
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash ^ (hash >> 32)) & mask;; i = (i + 1) & mask) {
    if (slots_[i] == hash) return false;
    if (slots_[i] == 0) {
      slots_[i] = hash;
      ++used_;
      return true;
    }
  }
}

NativeString CardNamer::Next(const std::u32string& stem, std::uint64_t number) {
  if (stem.empty()) {
    name_ = Native("vCard");
    name_ += NativeDecimal(number);
  } else {
    NativeFromCodePoints(stem, name_);
  }
  // Upper-casing maps each character alone, so the key of the whole name is
  // the key of its stem followed by the upper-cased rest.
  FileNameKey(name_, key_);
  const std::uint64_t stemHash = HashOn(kFnvStart, key_.data(), key_.size());
  if (taken_.Insert(HashOn(stemHash, ".VCF"))) return AppendAscii(name_, ".vcf");
  std::uint64_t& last = lastCopy_[stemHash];
  last = std::max<std::uint64_t>(last, 1);
  for (;;) {
    const std::string copy = " (" + std::to_string(++last) + ")";
    if (taken_.Insert(HashOn(HashOn(stemHash, copy), ".VCF"))) {
      AppendAscii(name_, copy);
      return AppendAscii(name_, ".vcf");
    }
  }
}

}  // namespace quillmere
