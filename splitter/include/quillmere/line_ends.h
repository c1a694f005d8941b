#pragma once
#include <cstddef>

namespace quillmere {

// Finds the first CR or LF code unit in [begin, end): 8-bit units
// (kUnitSize 1), or 16-bit units in little- or big-endian order (kUnitSize
// 2; end - begin must then be even, and a unit counts only as a whole, so
// the byte 0D in the other half of a unit is not a CR). Returns end when
// there is none.
//
// On x86 the search compares 16 bytes at a time (SSE2); elsewhere, and for
// the last bytes of a range shorter than that, it looks at one unit at a
// time. Both give the same answer; FindLineEndPortable is the plain one,
// kept callable so that tests can hold the two against each other.
template <std::size_t kUnitSize, bool kBigEndian = false>
const std::byte* FindLineEnd(const std::byte* begin, const std::byte* end);

template <std::size_t kUnitSize, bool kBigEndian = false>
const std::byte* FindLineEndPortable(const std::byte* begin, const std::byte* end);

}  // namespace quillmere
