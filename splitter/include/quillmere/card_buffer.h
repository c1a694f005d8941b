#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace quillmere {

// The card being read, as it is to be written: the source's mark, CR LF in
// the source's units before every line and after the last, boundary lines
// without their spaces.
//
// While the card lies whole in the block being scanned and reads there
// exactly as it is to be written (CR LF line ends, boundary lines without
// spaces, no mark), it is only a range of that block and nothing is
// copied. The first byte that would differ, or the end of the block, copies
// it into a buffer of its own, where the rest is then appended.
class CardBuffer {
 public:
  // The source's mark, which starts every card, and its CR LF.
  void SetSource(std::span<const std::byte> mark, std::span<const std::byte> newline);

  // The card's bytes not yet handed on.
  std::span<const std::byte> Bytes() const {
    if (begin_) return {begin_, end_};
    return {reinterpret_cast<const std::byte*>(held_.data()), held_.size()};
  }
  std::size_t Size() const { return begin_ ? static_cast<std::size_t>(end_ - begin_) : held_.size(); }
  // All of the card so far, handed on or not.
  std::uint64_t CardBytes() const { return handedOn_ + Size(); }

  // Opens a card with its BEGIN line's `word`. lineBegin and lineEnd bound
  // that line's units as read when they lie in the block that begins at
  // blockBegin (lineBegin is null if not): then the card may be read in
  // place from the CR LF before it.
  void Start(std::span<const std::byte> word, const std::byte* blockBegin, const std::byte* lineBegin,
             const std::byte* lineEnd);

  // Whether the card is read in place up to p.
  bool InPlaceUpTo(const std::byte* p) const { return begin_ && end_ == p; }
  // Takes the `size` bytes at p, in the block, in place: only if the card
  // is read in place up to p and stays below `limit` bytes.
  bool ExtendInPlace(const std::byte* p, std::size_t size, std::size_t limit) {
    if (!InPlaceUpTo(p) || Size() + size >= limit) return false;
    end_ += size;
    return true;
  }
  void Append(const std::byte* data, std::size_t size) {
    if (begin_) Materialize();
    held_.append(reinterpret_cast<const char*>(data), size);
  }
  // A line end: in place when the block, which ends at blockEnd, has CR LF
  // right there (a lone CR, a lone LF or a CR CR LF is written as CR LF).
  void AppendNewline(const std::byte* blockEnd) {
    if (begin_ && static_cast<std::size_t>(blockEnd - end_) >= newline_.size() &&
        std::memcmp(end_, newline_.data(), newline_.size()) == 0) {
      end_ += newline_.size();
      return;
    }
    Append(newline_.data(), newline_.size());
  }
  // A boundary line inside the card, read at [lineBegin, lineEnd): in place
  // when it has no spaces around its word.
  void AppendWord(std::span<const std::byte> word, const std::byte* lineBegin, const std::byte* lineEnd) {
    if (InPlaceUpTo(lineBegin) && lineEnd - lineBegin == static_cast<std::ptrdiff_t>(word.size())) {
      end_ = lineEnd;
      return;
    }
    Append(word.data(), word.size());
  }

  // Copies the card read in place so far into the buffer: the block is
  // about to be reused.
  void Materialize();
  // What Bytes() gave has been handed on; the card goes on.
  void HandedOn();
  // Forgets the finished card.
  void Clear();

 private:
  std::string mark_;
  std::span<const std::byte> newline_;
  std::string held_;
  std::uint64_t handedOn_ = 0;
  // The card so far, when it is read in place.
  const std::byte* begin_ = nullptr;
  const std::byte* end_ = nullptr;
};

}  // namespace quillmere
