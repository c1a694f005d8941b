#include "card_model.h"

#include <cstddef>
#include <string_view>

namespace quillmere::model {
namespace {

constexpr std::uint32_t kCr = 0x0D;
constexpr std::uint32_t kLf = 0x0A;
constexpr std::uint32_t kSpace = 0x20;
constexpr std::uint32_t kNotAUnit = 0x10000;  // the lone last byte of a UTF-16 file

// One character of the source: its value, and where its bytes are.
struct Unit {
  std::uint32_t value;
  std::size_t offset;
  std::size_t size;
};
using Line = std::vector<Unit>;

struct Decoded {
  std::string mark;
  std::size_t unitSize = 1;
  bool bigEndian = false;
  std::vector<Unit> units;
};

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0 && text.size() >= prefix.size();
}

Decoded Decode(const std::string& source) {
  Decoded d;
  if (StartsWith(source, "\xEF\xBB\xBF")) {
    d.mark = source.substr(0, 3);
  } else if (StartsWith(source, "\xFF\xFE") || StartsWith(source, "\xFE\xFF")) {
    d.mark = source.substr(0, 2);
    d.unitSize = 2;
    d.bigEndian = source[0] == '\xFE';
  } else if (source.size() >= 2) {
    // No mark, but an ASCII character beside a 00 in the first unit.
    auto ascii = [](char c) { return static_cast<unsigned char>(c) - 1u < 0x7Fu; };
    if (source[0] == '\0' && ascii(source[1])) {
      d.unitSize = 2;
      d.bigEndian = true;
    } else if (ascii(source[0]) && source[1] == '\0') {
      d.unitSize = 2;
    }
  }
  std::size_t i = d.mark.size();
  d.units.reserve(source.size() / d.unitSize + 1);
  for (; i + d.unitSize <= source.size(); i += d.unitSize) {
    const auto first = static_cast<unsigned char>(source[i]);
    std::uint32_t value = first;
    if (d.unitSize == 2) {
      const auto second = static_cast<unsigned char>(source[i + 1]);
      value = d.bigEndian ? (first * 256u + second) : (second * 256u + first);
    }
    d.units.push_back({value, i, d.unitSize});
  }
  if (i < source.size()) d.units.push_back({kNotAUnit, i, source.size() - i});
  return d;
}

bool Is(const std::vector<Unit>& units, std::size_t i, std::uint32_t value) {
  return i < units.size() && units[i].value == value;
}

// CR LF, CR CR LF, a lone CR and a lone LF each end one line, taken from the
// left; a last line without an end still counts, an empty one does not.
std::vector<Line> Lines(const std::vector<Unit>& units) {
  std::vector<Line> lines;
  Line current;
  bool open = false;
  for (std::size_t i = 0; i < units.size();) {
    const std::uint32_t v = units[i].value;
    if (v == kCr || v == kLf) {
      if (v == kCr && Is(units, i + 1, kLf)) {
        i += 2;
      } else if (v == kCr && Is(units, i + 1, kCr) && Is(units, i + 2, kLf)) {
        i += 3;
      } else {
        i += 1;
      }
      lines.push_back(std::move(current));
      current.clear();
      open = false;
    } else {
      current.push_back(units[i]);
      open = true;
      ++i;
    }
  }
  if (open) lines.push_back(std::move(current));
  return lines;
}

enum class Kind { Other, Begin, End };

// The line without the spaces around it, if it is a boundary word in any
// ASCII case.
Kind KindOf(const Line& line, Line& word) {
  std::size_t first = 0;
  std::size_t last = line.size();
  while (first < last && line[first].value == kSpace) ++first;
  while (last > first && line[last - 1].value == kSpace) --last;
  word.assign(line.begin() + static_cast<std::ptrdiff_t>(first),
              line.begin() + static_cast<std::ptrdiff_t>(last));
  auto equals = [&word](std::string_view upper) {
    if (word.size() != upper.size()) return false;
    for (std::size_t k = 0; k < upper.size(); ++k) {
      std::uint32_t v = word[k].value;
      if (v >= 'a' && v <= 'z') v -= 'a' - 'A';
      if (v != static_cast<unsigned char>(upper[k])) return false;
    }
    return true;
  };
  if (equals("BEGIN:VCARD")) return Kind::Begin;
  if (equals("END:VCARD")) return Kind::End;
  return Kind::Other;
}

std::string NewLine(const Decoded& d) {
  if (d.unitSize == 1) return "\r\n";
  return d.bigEndian ? std::string("\0\r\0\n", 4) : std::string("\r\0\n\0", 4);
}

std::string Join(const std::string& source, const Line& line) {
  std::string text;
  for (const auto& unit : line) text.append(source, unit.offset, unit.size);
  return text;
}

}  // namespace

Expected SplitWholeFile(const std::string& source) {
  const Decoded decoded = Decode(source);
  const std::string newLine = NewLine(decoded);
  Expected expected;
  std::string card;
  int depth = 0;
  for (const Line& line : Lines(decoded.units)) {
    Line word;
    const Kind kind = KindOf(line, word);
    if (depth == 0 && kind == Kind::Begin) {
      card = decoded.mark;
    }
    if (depth > 0 || kind == Kind::Begin) {
      card += newLine + Join(source, kind == Kind::Other ? line : word);
      if (kind == Kind::Begin) ++depth;
      if (kind == Kind::End) --depth;
      if (depth == 0) expected.cards.push_back(card + newLine);
    }
    expected.progress.push_back(expected.cards.size());
  }
  expected.unfinishedLastCard = depth > 0;
  return expected;
}

}  // namespace quillmere::model
