#include "card_batches.h"

#include <algorithm>

namespace quillmere {

void BatchCounts::Closed(std::uint64_t cards) {
  cards_.push_back(cards);
  ++files_;
}

std::uint64_t BatchCounts::CardsIn(std::uint64_t files) {
  if (files == 0 || cards_.empty()) return 0;
  while (files > first_ + kKept && cards_.size() > 1) {
    cards_.pop_front();
    ++first_;
  }
  const std::uint64_t at = std::clamp(files, first_, first_ + cards_.size() - 1) - first_;
  return cards_[static_cast<std::size_t>(at)];
}

void BatchCountingOwner::Progress(std::uint64_t files) {
  owner_.Progress(counts_.CardsIn(files));
}

void BatchCountingOwner::ProgressLines(std::uint64_t files, std::uint64_t lines) {
  owner_.ProgressLines(counts_.CardsIn(files), lines);
}

void BatchCountingOwner::Finished(const RunSummary& summary) {
  RunSummary told = summary;
  told.files = summary.saved;
  told.saved = counts_.CardsIn(summary.saved);
  owner_.Finished(told);
}

void BatchCountingOwner::Failed(const RunFailure& failure) {
  RunFailure told = failure;
  told.files = failure.saved;
  told.saved = counts_.CardsIn(failure.saved);
  owner_.Failed(told);
}

CardBatches::CardBatches(BatchLimits limits, std::size_t holdLimit, CardScanner& scanner, RunOwner& owner,
                         BatchCounts& counts)
    : limits_(limits), holdLimit_(holdLimit), scanner_(scanner), owner_(owner), counts_(counts) {}

// The mark every card of the scanner starts with; it is known once the
// first card is.
std::size_t CardBatches::MarkBytes() {
  if (!markKnown_) {
    switch (scanner_.Statistics().encoding) {
      case SourceEncoding::Utf8Mark:
        markBytes_ = 3;
        break;
      case SourceEncoding::Utf16LeMark:
      case SourceEncoding::Utf16BeMark:
        markBytes_ = 2;
        break;
      default:
        markBytes_ = 0;
    }
    markKnown_ = true;
  }
  return markBytes_;
}

bool CardBatches::LineEnded(bool cardDone) {
  if (!cardDone) return run_->LineEnded(false);
  std::span<const std::byte> card = scanner_.Card();
  std::uint64_t cardBytes = card.size();
  if (inParts_) {
    // First in its batch: the mark went with its first part.
    cardBytes += partBytes_;
    inParts_ = false;
  } else {
    const std::size_t mark = MarkBytes();
    if (batchCards_ > 0) {
      if (limits_.bytes && batchBytes_ + cardBytes - mark > limits_.bytes && !Close()) return false;
      if (batchCards_ > 0) card = card.subspan(std::min(mark, card.size()));
    }
  }
  ++cards_;
  ++batchCards_;
  batchBytes_ += card.size();
  if (!Hold(card)) return false;
  scanner_.ClearCard();
  const bool overLimit = limits_.bytes && cardBytes > limits_.bytes;
  if (overLimit) owner_.CardOverLimit(cards_, cardBytes, counts_.Files() + 1);
  if (overLimit || batchCards_ == limits_.cards) return Close();
  return run_->LineEnded(false);
}

bool CardBatches::CardPart(std::span<const std::byte> part) {
  if (!inParts_) {
    inParts_ = true;
    partBytes_ = 0;
    if (batchCards_ > 0 && !Close()) return false;
  }
  partBytes_ += part.size();
  batchBytes_ += part.size();
  return run_->CardPart(part);
}

bool CardBatches::Finish() {
  return batchCards_ == 0 || Close();
}

std::span<const std::byte> CardBatches::Batch() const {
  return std::as_bytes(std::span(closed_));
}

// Hands the open batch to the run as a card done, and opens the next.
bool CardBatches::Close() {
  closed_.swap(held_);
  held_.clear();
  counts_.Closed(cards_);
  batchCards_ = 0;
  batchBytes_ = 0;
  return run_->LineEnded(true);
}

// Past the hold limit, what the open batch holds goes on as a part first.
bool CardBatches::Hold(std::span<const std::byte> bytes) {
  if (!held_.empty() && held_.size() + bytes.size() > holdLimit_) {
    if (!run_->CardPart(std::as_bytes(std::span(held_)))) return false;
    held_.clear();
  }
  held_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace quillmere
