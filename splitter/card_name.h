#pragma once
// Naming a card after its contact, read top-down: the card's own lines
// (card_lines.h), their values as text (value_decoding.h), the text as a
// safe stem (safe_stem.h); then the namer tells the cards of one name apart
// (card_namer.h).
#include <cstddef>
#include <memory>
#include <span>
#include <string>

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
  // Before the card's end: the stem its FN line gives, once that line is
  // whole (folds and all); else nothing. Valid until the next call.
  const std::u32string* NameSoFar() const;
  // Forgets the card, to read the next one.
  void Reset();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmere
