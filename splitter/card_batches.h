#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

#include "quillmere/card_scanner.h"
#include "quillmere/run.h"

namespace quillmere {

// How many cards the first files of a batched run hold. The writers count
// files; owners are told cards. Asked from the run's own thread only.
class BatchCounts {
 public:
  // A file closed; the files so far hold `cards` cards.
  void Closed(std::uint64_t cards);
  std::uint64_t Files() const { return files_; }
  // The cards held by the first `files` files.
  std::uint64_t CardsIn(std::uint64_t files);

 private:
  // Counts are asked for in rising order, so only the last few files are
  // kept: memory stays flat whatever the number of files.
  static constexpr std::size_t kKept = 4096;
  std::deque<std::uint64_t> cards_;  // after file first_, first_ + 1, ...
  std::uint64_t first_ = 1;
  std::uint64_t files_ = 0;
};

// Tells an owner in cards what a batched run counts in files.
class BatchCountingOwner final : public RunOwner {
 public:
  BatchCountingOwner(RunOwner& owner, BatchCounts& counts) : owner_(owner), counts_(counts) {}
  void Progress(std::uint64_t files) override;
  void ProgressLines(std::uint64_t files, std::uint64_t lines) override;
  bool KeepGoing() override { return owner_.KeepGoing(); }
  void Finished(const RunSummary& summary) override;
  void Failed(const RunFailure& failure) override;
  void Stopped() override { owner_.Stopped(); }
  void CardOverLimit(std::uint64_t card, std::uint64_t bytes, std::uint64_t file) override {
    owner_.CardOverLimit(card, bytes, file);
  }

 private:
  RunOwner& owner_;
  BatchCounts& counts_;
};

// Stands between the scanner and a run, and gathers the scanner's cards
// into batches: to the run, each batch is one card, done when it closes.
//
// A batch is the first card whole (the source's mark included) and every
// later card without the mark, so a file reads as a one-card file does,
// with more cards after the first. A batch is held up to the hold limit;
// past it, what is held goes on to the run as parts, as a card too large to
// hold does, and the rest follows at its close. A card the scanner hands on
// in parts always starts a batch of its own: whether it fits is not known
// until its end, and if the source ends inside it, no finished card may
// share its file.
//
// The open batch is dropped with the run's end unless Finish closes it.
class CardBatches final : public LineSink {
 public:
  CardBatches(BatchLimits limits, std::size_t holdLimit, CardScanner& scanner, RunOwner& owner,
              BatchCounts& counts);
  CardBatches(const CardBatches&) = delete;
  CardBatches& operator=(const CardBatches&) = delete;

  // Where the batches go; set before the scan starts.
  void SendTo(LineSink& run) { run_ = &run; }

  bool LineEnded(bool cardDone) override;
  bool LinesEnded(std::uint64_t lines) override { return run_->LinesEnded(lines); }
  bool CardPart(std::span<const std::byte> part) override;
  // The source has ended: the open batch closes. False if the run stopped.
  bool Finish();

  // After the run was told of a done card: the batch that closed (its last
  // bytes, if parts of it went before).
  std::span<const std::byte> Batch() const;
  void ClearBatch() { closed_.clear(); }

 private:
  bool Close();
  bool Hold(std::span<const std::byte> bytes);
  std::size_t MarkBytes();

  BatchLimits limits_;
  std::size_t holdLimit_;
  CardScanner& scanner_;
  RunOwner& owner_;
  BatchCounts& counts_;
  LineSink* run_ = nullptr;
  std::string held_;              // the open batch's bytes not yet handed on
  std::string closed_;            // the batch the run is saving
  std::uint64_t cards_ = 0;       // cards taken so far
  std::uint64_t batchCards_ = 0;  // of them, in the open batch
  std::uint64_t batchBytes_ = 0;  // the open batch's size as written
  std::uint64_t partBytes_ = 0;   // of a card arriving in parts, so far
  bool inParts_ = false;
  std::size_t markBytes_ = 0;
  bool markKnown_ = false;
};

}  // namespace quillmere
