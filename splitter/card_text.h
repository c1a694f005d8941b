#pragma once
// ASCII within a card's own units (bytes or UTF-16 units alike), UTF-8
// sizes, and code points as file names: what every stage of naming a card
// reads and writes text with.
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

#include "quillmere/native_text.h"

namespace quillmere {

template <class Unit>
char32_t Code(Unit u) {
  return static_cast<char32_t>(static_cast<std::make_unsigned_t<Unit>>(u));
}

inline char32_t AsciiUpper(char32_t c) {
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

inline void AppendUtf8(std::string& out, char32_t c) {
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

inline std::size_t Utf8Size(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// Text as the platform names files: UTF-16 on Windows, UTF-8 elsewhere.
inline void NativeFromCodePoints(std::u32string_view text, NativeString& out) {
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

inline NativeString NativeFromCodePoints(std::u32string_view text) {
  NativeString out;
  NativeFromCodePoints(text, out);
  return out;
}

}  // namespace quillmere
