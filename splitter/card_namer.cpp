#include "card_namer.h"

#include <algorithm>
#include <string>
#include <type_traits>

#include "card_text.h"
#include "text_charset.h"

namespace quillmere {
namespace {

NativeString& AppendAscii(NativeString& text, std::string_view ascii) {
  text.append(ascii.begin(), ascii.end());
  return text;
}

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

NativeString CardNamer::Next(std::span<const std::byte> card, std::uint64_t number) {
  reader_.Reset();
  reader_.Feed(card);
  return Next(reader_.Finish(), number);
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

}  // namespace quillmere
