#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "quillmere/card_scanner.h"
#include "quillmere/scan_statistics.h"

namespace quillmere {

// What a whole scan of a source found: its shape and the cards a split
// would save.
struct SourceShape {
  ScanStatistics seen;
  std::uint64_t cards = 0;
};

// The same facts read by CardScanner, block by block, each card counted
// and forgotten: for sources the shape reader does not take (standard
// input, UTF-16), and as the reference it is held to.
class ShapeByScanner final : private LineSink {
 public:
  void Feed(std::span<const std::byte> data) { scanner_.Feed(data, *this); }
  SourceShape Finish() {
    scanner_.Finish(*this);
    return {scanner_.Statistics(), cards_};
  }

 private:
  bool LineEnded(bool cardDone) override {
    if (cardDone) {
      ++cards_;
      scanner_.ClearCard();
    }
    return true;
  }
  bool CardPart(std::span<const std::byte>) override { return true; }

  CardScanner scanner_;
  std::uint64_t cards_ = 0;
};

// Reads a whole 8-bit or UTF-8 source held in memory and gives exactly what
// CardScanner gives for it (its Statistics() after Finish, and the number of
// LineEnded(true) calls), without cutting it into cards: line ends are
// counted 64 bytes at a time, and only lines whose first character after
// any spaces could begin a boundary word are looked at one by one. A UTF-16
// source gives nothing: read it with CardScanner.
//
// The bytes are sorted with the widest instructions the processor has; a
// large source is cut after line feeds into parts read on several threads
// at once.
std::optional<SourceShape> ScanShape(std::span<const std::byte> source);

// Reads an 8-bit or UTF-8 source handed in block by block as ScanShape
// reads it whole. Each block is read in place up to its last line end that
// can be cut after (an LF, or a CR with something other than CR or LF after
// it); only the line it ends inside is copied, to be read with the next
// block. Nothing is mapped, and memory stays at a block and that line.
class ShapeReader {
 public:
  // longestLine: the most a line may carry over before the reader gives up.
  explicit ShapeReader(std::size_t longestLine = std::size_t{1} << 20);
  // The next bytes of the source. False when the shape reader cannot go
  // on: the source is UTF-16, or a line is longer than longestLine; read it
  // from its start with CardScanner then.
  bool Feed(std::span<const std::byte> block);
  // The source has ended; nothing for a UTF-16 source.
  std::optional<SourceShape> Finish();

  // For a large source read in parts at once: a reader of a later part,
  // which begins where a line begins, `offset` bytes into the text after
  // the first reader's mark (the first must have started), and is read as
  // if outside any card. Once its part is read and Flush()ed, the first
  // reader either Append()s it or, if the part before ended inside a card
  // after all (InsideCard()), is fed the part again itself.
  ShapeReader(const ShapeReader& first, std::uint64_t offset);
  bool Started() const { return started_; }
  std::size_t MarkBytes() const { return markBytes_; }
  bool InsideCard() const;
  // The part has ended, at a line end.
  void Flush();
  void Append(const ShapeReader& later);

 private:
  bool Start(std::span<const std::byte>& block);
  void Read(std::span<const std::byte> text);
  bool Carry(std::span<const std::byte> rest);

  std::size_t longestLine_;
  std::vector<std::byte> carried_;  // the start of a line a block ended inside
  bool started_ = false;
  std::size_t markBytes_ = 0;
  SourceEncoding encoding_ = SourceEncoding::Bytes;
  std::uint64_t offset_ = 0;  // of the next byte to read, in the text after the mark
  std::byte lastByte_{};
  struct Fold;
  std::shared_ptr<Fold> fold_;
};

// The ways of sorting the bytes; all give the same answer. Tests hold each
// one this processor has against CardScanner.
enum class ShapeInstructions { Portable, Sse2, Avx2 };
// The ones this build and processor can use, plainest first.
std::vector<ShapeInstructions> ShapeInstructionsHere();
// Falls back to the plain one where the one asked for is missing. The
// source is cut into up to `threads` parts, each read on a thread.
std::optional<SourceShape> ScanShapeUsing(ShapeInstructions instructions, std::size_t threads,
                                          std::span<const std::byte> source);

}  // namespace quillmere
