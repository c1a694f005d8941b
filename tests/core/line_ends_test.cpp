// The line-end finder: the vector path and the plain path must agree with
// each other and with what a line end is, at every alignment and wherever
// the range ends.
#include "quillmere/line_ends.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmere {
namespace {

struct Layout {
  const char* name;
  std::size_t unit;
  const std::byte* (*fast)(const std::byte*, const std::byte*);
  const std::byte* (*plain)(const std::byte*, const std::byte*);
  bool bigEndian;
};

const Layout kLayouts[] = {
    {"8-bit", 1, &FindLineEnd<1>, &FindLineEndPortable<1>, false},
    {"UTF-16 LE", 2, &FindLineEnd<2, false>, &FindLineEndPortable<2, false>, false},
    {"UTF-16 BE", 2, &FindLineEnd<2, true>, &FindLineEndPortable<2, true>, true},
};

// Writes one code unit at unit index i in the layout's byte order.
void PutUnit(std::vector<std::byte>& bytes, const Layout& layout, std::size_t i, unsigned unit) {
  if (layout.unit == 1) {
    bytes[i] = std::byte(unit);
    return;
  }
  bytes[2 * i + (layout.bigEndian ? 0 : 1)] = std::byte(unit >> 8);
  bytes[2 * i + (layout.bigEndian ? 1 : 0)] = std::byte(unit & 0xFF);
}

// Finds with both paths in units [0, units) of a buffer placed `offset` bytes
// into a larger one, which holds a line end just past the range so that a
// search running over its end is caught.
struct Found {
  std::ptrdiff_t fast;
  std::ptrdiff_t plain;
};
Found FindIn(const Layout& layout, std::size_t offset, std::size_t units, std::ptrdiff_t at, unsigned end,
             unsigned filler = 'x') {
  std::vector<std::byte> buffer(offset + (units + 20) * layout.unit);
  std::vector<std::byte> range((units + 20) * layout.unit);
  for (std::size_t i = 0; i < units + 20; ++i) PutUnit(range, layout, i, i >= units ? '\n' : filler);
  if (at >= 0) PutUnit(range, layout, static_cast<std::size_t>(at), end);
  std::copy(range.begin(), range.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
  const std::byte* begin = buffer.data() + offset;
  const std::byte* stop = begin + units * layout.unit;
  return {(layout.fast(begin, stop) - begin) / static_cast<std::ptrdiff_t>(layout.unit),
          (layout.plain(begin, stop) - begin) / static_cast<std::ptrdiff_t>(layout.unit)};
}

TEST(LineEnds, FoundAtEveryPlaceAlignmentAndLengthByBothPaths) {
  for (const auto& layout : kLayouts) {
    for (unsigned end : {'\r', '\n'}) {
      for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t units = 0; units <= 70; ++units) {
          for (std::ptrdiff_t at = -1; at < static_cast<std::ptrdiff_t>(units); ++at) {
            const auto found = FindIn(layout, offset, units, at, end);
            const auto expected = at < 0 ? static_cast<std::ptrdiff_t>(units) : at;
            ASSERT_EQ(found.fast, expected) << layout.name << " offset " << offset << " units " << units;
            ASSERT_EQ(found.plain, expected) << layout.name << " offset " << offset << " units " << units;
          }
        }
      }
    }
  }
}

// Only the first line end counts, also when a later one falls in the same
// block of 16 bytes or in the overlapping last block.
TEST(LineEnds, FirstOfSeveralInOneBlockIsTaken) {
  for (const auto& layout : kLayouts) {
    for (std::size_t units = 2; units <= 40; ++units) {
      for (std::size_t first = 0; first + 1 < units; ++first) {
        std::vector<std::byte> bytes(units * layout.unit);
        for (std::size_t i = 0; i < units; ++i) PutUnit(bytes, layout, i, i > first ? '\r' : 'a');
        PutUnit(bytes, layout, first, '\n');
        const auto* begin = bytes.data();
        const auto* stop = begin + bytes.size();
        ASSERT_EQ(layout.fast(begin, stop), begin + first * layout.unit) << layout.name << " units " << units;
      }
    }
  }
}

// The byte 0D or 0A in the other half of a 16-bit unit (U+0D41, U+410A, …)
// is no line end: a search by bytes would cut a UTF-16 line there.
TEST(LineEnds, HalfOfASixteenBitUnitIsNoLineEnd) {
  for (const auto& layout : kLayouts) {
    if (layout.unit != 2) continue;
    for (unsigned unit : {0x0D41u, 0x0A0Du, 0x0D0Du, 0x410Au, 0x0D00u, 0x0A00u}) {
      for (std::size_t units : {1u, 7u, 8u, 9u, 17u, 33u}) {
        for (std::size_t offset = 0; offset < 4; ++offset) {
          const auto found = FindIn(layout, offset, units, -1, 0, unit);
          EXPECT_EQ(found.fast, static_cast<std::ptrdiff_t>(units))
              << layout.name << " unit " << std::hex << unit;
          EXPECT_EQ(found.plain, static_cast<std::ptrdiff_t>(units))
              << layout.name << " unit " << std::hex << unit;
        }
      }
    }
  }
}

// Bytes above 0x7F (UTF-8, code pages) and NUL are ordinary characters; a
// signed compare or a search for zero would stop at them.
TEST(LineEnds, HighBytesAndNulAreNoLineEnd) {
  for (unsigned filler : {0x00u, 0x80u, 0x8Du, 0x8Au, 0xFFu}) {
    for (std::size_t units : {5u, 16u, 31u, 64u}) {
      const auto found = FindIn(kLayouts[0], 3, units, -1, 0, filler);
      EXPECT_EQ(found.fast, static_cast<std::ptrdiff_t>(units)) << "filler " << filler;
    }
  }
}

}  // namespace
}  // namespace quillmere
