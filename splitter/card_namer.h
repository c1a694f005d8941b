#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "card_name.h"
#include "quillmere/native_text.h"

namespace quillmere {

// Gives each card of one run its file name, in source order: two cards of
// one name (compared without regard to case, as Windows compares them) get
// "Jane Doe.vcf", then "Jane Doe (2).vcf", "(3)", …; a number is skipped
// when its name is already taken by another card.
//
// The names given are remembered by a 64-bit hash of their upper-cased
// text, in a table kept at most half full: 16 to 32 bytes a card (and
// half as much again while it doubles), whatever the names. A name
// given before always has the hash it had, so no card ever gets a name
// another card has; two different names of one hash (about one chance in
// 3·10^7 for a million cards) would only make the later one take a "(2)" it
// did not need.
class CardNamer {
 public:
  // The name for a card whose stem was read (empty: none was) and which is
  // the number-th card of the source.
  NativeString Next(const std::u32string& stem, std::uint64_t number);
  // The name for a whole card: its contact's name, or vCard<number> when no
  // line names it; then ".vcf".
  NativeString Next(std::span<const std::byte> card, std::uint64_t number);

 private:
  // Open addressing; 0 marks a free slot.
  class HashSet {
   public:
    // False when the hash was there already.
    bool Insert(std::uint64_t hash);

   private:
    std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(1024);
    std::size_t used_ = 0;
  };

  HashSet taken_;
  std::unordered_map<std::uint64_t, std::uint64_t> lastCopy_;  // stem's hash → last "(n)" given
  CardNameReader reader_;
  NativeString name_, key_;  // kept to spare an allocation per card
};

}  // namespace quillmere
