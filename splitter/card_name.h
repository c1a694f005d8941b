#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "native_text.h"

namespace quillmere {

// Reads the name of one contact from its card, as CardScanner writes it: an
// optional mark (UTF-8, or UTF-16 in either byte order), then CR LF before
// every line and a last CR LF, in 8-bit or 16-bit units. The units are told
// by the mark or, without one, by how the leading CR LF is written, so a
// card read from a UTF-16 source without a mark is read as UTF-16 too.
//
// The card may be given whole or in pieces (a card too large to hold is
// named while it streams past); only the lines that can name it are kept,
// each up to a bound, so memory stays small whatever the card's size.
//
// Which line names it: only the card's own lines, not those of a card
// nested inside it. The first of FN; N (given, additional, family); the
// first part of ORG; EMAIL; TEL that gives a non-empty file name. Property
// names in any case, with a group ("item1.FN") and any parameters. Folded
// lines are joined; quoted-printable values (ENCODING=QUOTED-PRINTABLE or
// the bare 2.1 parameter) are decoded, their soft line breaks joined; the
// escapes \, \; \\ and \n (a space) are undone and N and ORG are split at
// unescaped semicolons. The text: a UTF-16 card's own units; otherwise the
// CHARSET parameter's character set, or, without one or with one the
// platform's converter does not know, UTF-8 where the bytes are valid UTF-8
// and Windows-1252 elsewhere.
class CardNameReader {
 public:
  CardNameReader();
  ~CardNameReader();
  CardNameReader(const CardNameReader&) = delete;
  CardNameReader& operator=(const CardNameReader&) = delete;

  // The next bytes of the card.
  void Feed(std::span<const std::byte> bytes);
  // The card has ended: the file name stem it gives ("Jane Doe"), already
  // safe as a file name, or nothing when no line names it. Valid until the
  // next call.
  const std::u32string& Finish();
  // Forgets the card, to read the next one.
  void Reset();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// Makes text safe as a file name stem on Windows, macOS and Linux: each of
// < > : " / \ | ? * and every other control character becomes "_", white
// space (tabs and line breaks included) collapses to single spaces, spaces
// and dots go from either end, at most 100 code points (and at most 200
// bytes in UTF-8, which keeps every name within the 255-byte limit of
// Linux file systems), and a Windows device name before the first dot gets
// "_" after it ("Con" gives "Con_"). Empty when nothing is left.
std::u32string SafeFileStem(std::u32string_view text);

// The file name of a card without its folder: its contact's name, or
// vCard<number> when no line names it; then ".vcf".
NativeString CardFileName(std::span<const std::byte> card, std::uint64_t number);

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

// Text as the platform names files: UTF-16 on Windows, UTF-8 elsewhere.
NativeString NativeFromCodePoints(std::u32string_view text);
void NativeFromCodePoints(std::u32string_view text, NativeString& out);

}  // namespace quillmere
