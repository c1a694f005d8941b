#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "quillmere/card_buffer.h"
#include "quillmere/scan_recorder.h"
#include "quillmere/scan_statistics.h"

namespace quillmere {

struct BoundaryWord;

// Receives the end of every line the scanner reads, and the cards.
class LineSink {
 public:
  virtual ~LineSink() = default;
  // cardDone: the line closed a card, which CardScanner::Card() now holds
  // (its last bytes only, if parts of it were handed to CardPart).
  // Returns false to stop the scan.
  virtual bool LineEnded(bool cardDone) = 0;
  // `lines` lines in a row ended, none of them closing a card: the same as
  // as many LineEnded(false), in one call. Returns false to stop the scan.
  virtual bool LinesEnded(std::uint64_t lines) {
    for (; lines > 0; --lines) {
      if (!LineEnded(false)) return false;
    }
    return true;
  }
  // The card being read has outgrown what the scanner holds: these are its
  // next bytes, in order. The rest follows in more parts and, once its END
  // line is read, in Card(). Returns false to stop the scan.
  virtual bool CardPart(std::span<const std::byte> part) = 0;
};

// How a source's first bytes (three, or all of a shorter source) decide its
// encoding, as described for CardScanner below; markBytes is set to the
// length of the byte-order mark, 0 without one.
SourceEncoding EncodingOf(std::span<const std::byte> head, std::size_t& markBytes);

// Cuts a stream of source bytes into lines and the lines into cards.
//
// Encoding: the first bytes decide it. EF BB BF (UTF-8 mark) is not part of
// the first line; FF FE and FE FF (UTF-16 marks) make the scanner read
// 16-bit code units in that byte order. Without a mark, 00 then a byte from
// 01 to 7F is read as big-endian and such a byte then 00 as little-endian
// 16-bit units: address books write their exports so, and no 8-bit export
// starts with a NUL or an ASCII character before one. Anything else is read
// byte by byte. Every card starts with the source's mark, if it had one, and
// its CR LF are written in the source's units. Nothing is transcoded.
//
// Lines: CR LF, CR CR LF, a lone CR and a lone LF each end one line (read
// greedily from left to right); the end is not part of the line. A last line
// without an end is still a line; an end at the very end of the source does
// not start another. A lone last byte of a UTF-16 source is part of the last
// line.
//
// Cards: a line that is "BEGIN:VCARD" or "END:VCARD" in any ASCII letter
// case, with only spaces (U+0020) around it, is a boundary line. A card runs
// from a BEGIN line to the END line that matches it: a BEGIN inside a card
// nests, as a vCard 2.1 AGENT embeds a whole card. An END outside any card is
// ignored. A finished card is CR LF before every line, then a last CR LF;
// boundary lines appear without their spaces, every other line exactly as
// read. Lines outside a card are never held, whatever their length; a card
// is held up to the hold limit and handed on in parts beyond it, so memory
// stays bounded whatever the card's size.
class CardScanner {
 public:
  static constexpr std::size_t kDefaultHoldLimit = std::size_t{4} << 20;
  // Room for the longest boundary word, in characters.
  static constexpr std::size_t kLongestWord = 11;

  explicit CardScanner(std::size_t holdLimit = kDefaultHoldLimit);

  // Feeds the next bytes of the source. Returns false if the sink stopped.
  bool Feed(std::span<const std::byte> data, LineSink& sink);
  // The source has ended: reads its last line. Returns false if the sink
  // stopped.
  bool Finish(LineSink& sink);

  // The finished card, after LineEnded(true).
  std::span<const std::byte> Card() const;
  // Forgets the finished card; call after writing it.
  void ClearCard();
  // The source ended inside a card (after Finish).
  bool InsideCard() const { return recorder_.InsideCard(); }
  // What the scan has seen so far; complete after Finish.
  ScanStatistics Statistics() const;

 private:
  // Follows the first characters of a line: is it a boundary line? Until
  // it knows, it holds what it has seen (spaces are only counted, so a line
  // of spaces costs no memory).
  class Matcher {
   public:
    void Reset();
    bool Failed() const { return state_ == State::Fail; }
    void Take(std::uint16_t unit, const std::byte* raw, std::size_t unitSize);
    // The line's boundary word, once the line has ended; null if none.
    const BoundaryWord* Result() const;
    std::span<const std::byte> Word() const { return {word_, wordBytes_}; }
    // The line cannot be a boundary line, whatever follows.
    void Fail() { state_ = State::Fail; }
    std::uint64_t LeadingSpaces() const { return leading_; }
    std::uint64_t TrailingSpaces() const { return trailing_; }

   private:
    enum class State { Leading, Word, Trailing, Fail };
    State state_ = State::Leading;
    const BoundaryWord* expected_ = nullptr;  // the boundary word being matched
    std::size_t matched_ = 0;
    std::byte word_[2 * kLongestWord] = {};  // the word's own units, as read
    std::size_t wordBytes_ = 0;
    std::uint64_t leading_ = 0;
    std::uint64_t trailing_ = 0;
  };

  bool Decide(std::span<const std::byte> head, LineSink& sink);
  bool Scan(std::span<const std::byte> data, LineSink& sink);
  template <std::size_t kUnitSize, bool kBigEndian>
  bool ScanUnits(const std::byte* p, std::size_t n, LineSink& sink);
  bool TakeUnit(std::uint16_t unit, const std::byte* raw, std::size_t size, LineSink& sink);
  bool EndLine(LineSink& sink);
  template <std::size_t kUnitSize, bool kBigEndian>
  const std::byte* TakeContentLines(const std::byte* p, const std::byte* end, LineSink& sink, bool& goOn);
  template <std::size_t kUnitSize, bool kBigEndian>
  const std::byte* SkipContentLine(const std::byte* p, const std::byte* end, LineSink& sink, bool& goOn);
  bool AppendHeld(LineSink& sink);
  bool Hold(const std::byte* data, std::size_t size, LineSink& sink);
  bool HandOnPart(LineSink& sink);
  bool InBlock(const std::byte* p, std::size_t size) const;
  ScanStatistics& Counts() { return recorder_.Counts(); }

  std::size_t holdLimit_;
  bool decided_ = false;
  SourceEncoding encoding_ = SourceEncoding::Bytes;
  std::byte head_[3] = {};  // first bytes, until the encoding is known
  std::size_t headBytes_ = 0;
  std::byte oddByte_{};  // first half of a 16-bit unit split across blocks
  bool hasOddByte_ = false;

  int pendingCr_ = 0;  // CRs just seen that may still join a CR LF or CR CR LF
  bool lineStarted_ = false;
  Matcher matcher_;
  CardBuffer card_;
  ScanRecorder recorder_;

  // While a block is being scanned: its bounds, where the current line
  // begins in it (null if in an earlier block) and the unit being taken.
  const std::byte* blockBegin_ = nullptr;
  const std::byte* blockEnd_ = nullptr;
  const std::byte* lineBegin_ = nullptr;
  const std::byte* at_ = nullptr;
};

}  // namespace quillmere
