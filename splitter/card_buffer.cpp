#include "quillmere/card_buffer.h"

namespace quillmere {
namespace {

// A buffer larger than this is given back after its card is written, so
// one huge photo does not keep its memory for the rest of the run.
constexpr std::size_t kKeptCapacity = std::size_t{4} << 20;

}  // namespace

void CardBuffer::SetSource(std::span<const std::byte> mark, std::span<const std::byte> newline) {
  mark_.assign(reinterpret_cast<const char*>(mark.data()), mark.size());
  newline_ = newline;
  Clear();
}

// The source has that CR LF just before a BEGIN line without spaces, and
// no mark goes first: the card is read in place from the CR LF.
void CardBuffer::Start(std::span<const std::byte> word, const std::byte* blockBegin,
                       const std::byte* lineBegin, const std::byte* lineEnd) {
  held_.assign(mark_);
  handedOn_ = 0;
  begin_ = end_ = nullptr;
  const bool exact = lineBegin && lineEnd - lineBegin == static_cast<std::ptrdiff_t>(word.size());
  const bool newlineBefore = exact && static_cast<std::size_t>(lineBegin - blockBegin) >= newline_.size() &&
                             std::memcmp(lineBegin - newline_.size(), newline_.data(), newline_.size()) == 0;
  if (mark_.empty() && newlineBefore) {
    begin_ = lineBegin - newline_.size();
    end_ = lineEnd;
    return;
  }
  Append(newline_.data(), newline_.size());
  Append(word.data(), word.size());
}

void CardBuffer::Materialize() {
  if (!begin_) return;
  held_.append(reinterpret_cast<const char*>(begin_), Size());
  begin_ = end_ = nullptr;
}

void CardBuffer::HandedOn() {
  handedOn_ += Size();
  held_.clear();
  begin_ = end_ = nullptr;
}

void CardBuffer::Clear() {
  begin_ = end_ = nullptr;
  if (held_.capacity() > kKeptCapacity) {
    std::string(mark_).swap(held_);
  } else {
    held_.assign(mark_);
  }
}

}  // namespace quillmere
