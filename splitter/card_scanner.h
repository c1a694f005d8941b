#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quillmere {

// Receives the end of every line the scanner reads.
class LineSink {
 public:
  virtual ~LineSink() = default;
  // cardDone: the line closed a card, which CardScanner::Card() now holds.
  // Returns false to stop the scan.
  virtual bool LineEnded(bool cardDone) = 0;
};

// Cuts a stream of source bytes into lines and the lines into cards.
//
// Encoding: the first bytes decide it. EF BB BF (UTF-8 mark) is not part of
// the first line; FF FE and FE FF (UTF-16 marks) make the scanner read
// 16-bit code units in that byte order. Anything else is read byte by byte.
// Every card starts with the source's mark, if it had one, and its CR LF
// are written in the source's units. Nothing is transcoded.
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
// read. Lines outside a card are never held, whatever their length.
class CardScanner {
 public:
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
  bool InsideCard() const { return depth_ > 0; }

 private:
  enum class Encoding { Undecided, Bytes, Utf8Mark, Utf16Le, Utf16Be };
  enum class Boundary { None, Begin, End };
  // Follows the first characters of a line: is it a boundary line?
  class Matcher {
   public:
    void Reset();
    bool Failed() const { return state_ == State::Fail; }
    void Take(std::uint16_t unit, const std::byte* raw, std::size_t unitSize);
    Boundary Result() const;
    std::span<const std::byte> Word() const { return {word_, wordBytes_}; }

   private:
    enum class State { Leading, Word, Trailing, Fail };
    State state_ = State::Leading;
    const char* expected_ = nullptr;  // lower-case boundary word being matched
    std::size_t matched_ = 0;
    std::byte word_[2 * 11] = {};  // the word's own units, as read
    std::size_t wordBytes_ = 0;
  };

  bool Decide(std::span<const std::byte> head, LineSink& sink);
  bool Scan(std::span<const std::byte> data, LineSink& sink);
  template <std::size_t kUnitSize, bool kBigEndian>
  bool ScanUnits(const std::byte* p, std::size_t n, LineSink& sink);
  bool TakeUnit(std::uint16_t unit, const std::byte* raw, std::size_t size, LineSink& sink);
  bool EndLine(LineSink& sink);
  void AppendNewline();
  void StartNextCardLine();

  Encoding encoding_ = Encoding::Undecided;
  std::byte head_[3] = {};  // first bytes, until the encoding is known
  std::size_t headBytes_ = 0;
  std::byte oddByte_{};  // first half of a 16-bit unit split across blocks
  bool hasOddByte_ = false;

  int pendingCr_ = 0;  // CRs just seen that may still join a CR LF or CR CR LF
  bool lineStarted_ = false;
  Matcher matcher_;
  std::uint64_t depth_ = 0;  // nesting depth of the card being read
  std::string card_;         // mark, then the card so far
  std::size_t markBytes_ = 0;
  std::size_t lineStart_ = 0;  // where the current line begins in card_
};

}  // namespace quillmere
