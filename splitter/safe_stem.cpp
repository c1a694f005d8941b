#include "safe_stem.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "card_text.h"
#include "text_charset.h"

namespace quillmere {
namespace {

constexpr std::size_t kMaxCodePoints = 100;
constexpr std::size_t kMaxUtf8Bytes = 200;

void ReplaceUnsafe(std::u32string& stem);
void Compose(std::u32string& stem);
void TrimEnds(std::u32string& stem);
void CutToLength(std::u32string& stem);
void MarkDeviceName(std::u32string& stem);

}  // namespace

// The stem's pipeline. Cutting to length comes after the first trim so the
// limit counts what is kept, and before the second so a cut that leaves a
// space or a dot at the end loses it; a device name is looked for last, in
// what will really be the name.
void MakeSafe(std::u32string& stem) {
  ReplaceUnsafe(stem);
  Compose(stem);
  TrimEnds(stem);
  CutToLength(stem);
  TrimEnds(stem);
  MarkDeviceName(stem);
}

std::u32string SafeFileStem(std::u32string_view text) {
  std::u32string stem(text);
  MakeSafe(stem);
  return stem;
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

// What becomes of each ASCII character in a name: kept, "_" or a space.
enum class AsciiClass : unsigned char { Keep, Unsafe, Space };
constexpr std::array<AsciiClass, 128> kAscii = [] {
  std::array<AsciiClass, 128> table{};
  for (char32_t c = 0; c < 128; ++c) {
    table[c] = IsWhiteSpace(c) ? AsciiClass::Space : IsUnsafe(c) ? AsciiClass::Unsafe : AsciiClass::Keep;
  }
  return table;
}();

// Unsafe characters become "_", white space one space. In place: each
// character is read before its place is written.
void ReplaceUnsafe(std::u32string& stem) {
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
}

// One name however its accents were written, so that two that look alike
// are told apart by a "(2)". Below U+0300 nothing composes.
void Compose(std::u32string& stem) {
  if (std::any_of(stem.begin(), stem.end(), [](char32_t c) { return c >= 0x300; })) ComposeNfc(stem);
}

void TrimEnds(std::u32string& stem) {
  const auto keep = [](char32_t c) { return c != ' ' && c != '.'; };
  stem.erase(stem.begin(), std::find_if(stem.begin(), stem.end(), keep));
  stem.erase(std::find_if(stem.rbegin(), stem.rend(), keep).base(), stem.end());
}

void CutToLength(std::u32string& stem) {
  std::size_t count = 0, bytes = 0;
  while (count < stem.size() && count < kMaxCodePoints && bytes + Utf8Size(stem[count]) <= kMaxUtf8Bytes) {
    bytes += Utf8Size(stem[count++]);
  }
  stem.resize(count);
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

// A device name before the first dot (spaces before the dot aside) gets
// "_" after it.
void MarkDeviceName(std::u32string& stem) {
  std::size_t word = std::min(stem.find('.'), stem.size());
  while (word > 0 && stem[word - 1] == ' ') --word;
  if (IsDeviceName(std::u32string_view(stem).substr(0, word))) stem.insert(word, 1, U'_');
}

}  // namespace
}  // namespace quillmere
