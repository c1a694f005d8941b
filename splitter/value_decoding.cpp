#include "value_decoding.h"

#include <cstddef>
#include <string>
#include <type_traits>

#include "card_text.h"
#include "text_charset.h"

namespace quillmere {
namespace {

template <class Unit>
std::string Ascii(std::basic_string_view<Unit> text) {
  std::string out;
  for (const Unit u : text) out += Code(u) < 0x80 ? static_cast<char>(Code(u)) : '?';
  return out;
}

int HexValue(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  c = AsciiUpper(c);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
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

void DecodeBytes(std::string_view bytes, const std::string& charset, std::u32string& text) {
  const std::string set = AsciiLower(charset);
  const bool utf8 = set.empty() || set == "utf-8" || set == "utf8";
  if (!utf8 && DecodeCharset(charset, bytes, text)) return;
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

}  // namespace

template <class Unit>
ValueParams ParamsOf(std::basic_string_view<Unit> header) {
  ValueParams params;
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

template <class Unit>
void DecodeValue(const ValueParams& params, std::basic_string_view<Unit> value, std::u32string& text) {
  if (params.quotedPrintable) {
    DecodeBytes(DecodeQuotedPrintable(value), params.charset, text);
  } else if constexpr (std::is_same_v<Unit, char16_t>) {
    DecodeUtf16(value, text);
  } else {
    DecodeBytes(value, params.charset, text);
  }
}

template ValueParams ParamsOf(std::string_view header);
template ValueParams ParamsOf(std::u16string_view header);
template void DecodeValue(const ValueParams& params, std::string_view value, std::u32string& text);
template void DecodeValue(const ValueParams& params, std::u16string_view value, std::u32string& text);

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

void UnescapeWhole(std::u32string& text) {
  if (text.find('\\') == text.npos) return;
  text = Unescape(text, false).front();
}

}  // namespace quillmere
