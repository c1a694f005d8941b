#pragma once
#include <cstddef>
#include <cstdint>

namespace quillmere {

// The code unit that starts at p: one byte (kUnitSize 1), or a 16-bit unit
// from two bytes in little- or big-endian order. The scanner and the namer
// read a card's units through this one function.
template <std::size_t kUnitSize, bool kBigEndian = false>
std::uint16_t UnitAt(const std::byte* p) {
  if constexpr (kUnitSize == 1) {
    return std::to_integer<std::uint16_t>(p[0]);
  } else {
    const auto first = std::to_integer<unsigned>(p[0]);
    const auto second = std::to_integer<unsigned>(p[1]);
    return static_cast<std::uint16_t>(kBigEndian ? (first << 8) | second : (second << 8) | first);
  }
}

}  // namespace quillmere
