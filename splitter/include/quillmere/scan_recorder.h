#pragma once
#include <cstdint>

#include "quillmere/scan_statistics.h"

namespace quillmere {

// Follows the boundary lines of a source in order and keeps what the
// statistics say of cards: where each opens and closes as BEGIN and END
// lines nest, the deepest nesting, the stray END lines, the largest card,
// the lines outside cards and the card the source ends inside. The scanner
// the split runs and the shape reader behind --check both hand their
// boundary lines to one of these, so they count cards in one way.
//
// Line numbers count from 1. The reader counts the lines and line ends
// itself, into Counts(); the lines outside cards follow from the line
// numbers of the boundary lines and the source's last line.
class ScanRecorder {
 public:
  enum class Effect {
    OpensCard,   // a BEGIN line outside any card
    InsideCard,  // a BEGIN or END line nested inside a card
    ClosesCard,  // the END line that closes the card
    Stray,       // an END line outside any card: ignored
  };

  // The boundary line at `line`; opens: a BEGIN line, else an END line.
  Effect Boundary(bool opens, std::uint64_t line) {
    Effect effect = Effect::InsideCard;
    if (depth_ == 0 && opens) {
      stats_.linesOutsideCards += line - outsideFrom_;
      cardLine_ = line;
      effect = Effect::OpensCard;
    } else if (depth_ == 0) {
      if (stats_.strayEndLines < ScanStatistics::kStrayEndLinesKept)
        stats_.firstStrayEndLines[static_cast<std::size_t>(stats_.strayEndLines)] = line;
      ++stats_.strayEndLines;
      return Effect::Stray;
    } else if (!opens && depth_ == 1) {
      outsideFrom_ = line + 1;
      effect = Effect::ClosesCard;
    }
    if (opens) {
      ++depth_;
      stats_.anyBeginLine = true;
      if (depth_ > stats_.deepestNesting) stats_.deepestNesting = depth_;
    } else {
      --depth_;
    }
    return effect;
  }
  // The card the last ClosesCard closed is `bytes` long as written.
  void CardDone(std::uint64_t bytes) {
    ++cards_;
    if (bytes > stats_.largestCardBytes) {
      stats_.largestCardBytes = bytes;
      stats_.largestCard = cards_;
    }
  }

  bool InsideCard() const { return depth_ > 0; }
  // Where the card being read, or the last one closed, opens.
  std::uint64_t CardLine() const { return cardLine_; }
  std::uint64_t Cards() const { return cards_; }
  // The encoding, lines and line ends, as the reader counts them.
  ScanStatistics& Counts() { return stats_; }
  const ScanStatistics& Counts() const { return stats_; }

  // What was seen, up to Counts().lines.
  ScanStatistics Statistics() const;

  // Continues with what a recorder of the lines that follow recorded, begun
  // outside any card `lines` lines later; this one must be outside any card
  // too. Counts() are the callers' to join.
  void Append(const ScanRecorder& later, std::uint64_t lines);

 private:
  ScanStatistics stats_;
  std::uint64_t cards_ = 0;
  std::uint64_t depth_ = 0;
  std::uint64_t cardLine_ = 0;
  std::uint64_t outsideFrom_ = 1;  // the first line outside any card not yet counted
};

}  // namespace quillmere
