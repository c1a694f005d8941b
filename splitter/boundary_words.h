#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillmere {

// The words of the lines that open and close a card. The scanner, the
// shape reader behind --check and the namer all match a line against these
// and nothing else, letters in any ASCII case; the scanner and the shape
// reader also allow spaces (U+0020) around the word, and a written card
// has none. A BEGIN line inside a card opens one nested in it.
struct BoundaryWord {
  std::string_view text;
  bool opens;
};

// The opening word first.
inline constexpr std::array<BoundaryWord, 2> kBoundaryWords{{
    {"BEGIN:VCARD", true},
    {"END:VCARD", false},
}};
static_assert(kBoundaryWords[0].opens && !kBoundaryWords[1].opens);

inline constexpr std::size_t kLongestBoundaryWord =
    std::max_element(kBoundaryWords.begin(), kBoundaryWords.end(), [](const auto& a, const auto& b) {
      return a.text.size() < b.text.size();
    }) -> text.size();

constexpr bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The searches that look for a word's start by its first two characters,
// folded with | 0x20, rely on these being letters; and the words must
// differ in their first, which tells which word a line may be.
static_assert(std::all_of(kBoundaryWords.begin(), kBoundaryWords.end(), [](const BoundaryWord& w) {
  return w.text.size() >= 2 && IsAsciiLetter(w.text[0]) && IsAsciiLetter(w.text[1]);
}));
static_assert((kBoundaryWords[0].text[0] | 0x20) != (kBoundaryWords[1].text[0] | 0x20));

// Whether a code unit is the word's character `c`, a letter in either case.
constexpr bool SameLetter(std::uint16_t unit, char c) {
  if (!IsAsciiLetter(c)) return unit == static_cast<unsigned char>(c);
  return unit < 0x80 && (unit | 0x20) == (static_cast<unsigned char>(c) | 0x20);
}

// The word a line whose first character (after any spaces) is `unit` can
// only be; null if it begins none.
constexpr const BoundaryWord* BoundaryWordStartingWith(std::uint16_t unit) {
  for (const BoundaryWord& word : kBoundaryWords) {
    if (SameLetter(unit, word.text[0])) return &word;
  }
  return nullptr;
}

}  // namespace quillmere
