#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "card_writer.h"
#include "quillmere/file_system.h"
#include "quillmere/run.h"

namespace quillmere {

// Saves the whole cards of a run, each to its own file, up to `jobs` at once.
//
// One reader hands over the cards in order, numbered from 1. With one job
// each card is written at once, in the caller's thread, straight from the
// bytes handed in: one output file open at a time, no copy, no thread.
//
// With N jobs the reader copies the cards into batches (up to kBatchCards
// cards or kBatchBytes bytes in one buffer) and hands each over whole; N - 1
// threads make the files of the oldest batch not yet made, one batch at a
// time and in card order, and write and close the files of batches already
// made, oldest first. Making files in one folder does not scale (the system
// locks the folder for each), so it is the run's critical path: it goes
// first, and writing overlaps it. Handing over a batch rather than a card
// lets the threads run for many cards without a word between them. When
// kMaxBatches batches are in flight, the reader takes work itself rather
// than wait: N jobs keep N processors busy. So at most (kMaxBatches + 1) *
// kBatchCards files are open and about kMaxBytesInFlight bytes held (or one
// larger card alone), whatever the source. Where the process may open fewer
// files (ulimit -n), fewer batches are in flight; where not even two fit,
// the cards are written one at a time.
//
// Whatever the number of jobs, a run keeps every promise of writing one card
// at a time:
// - Saved() counts the cards saved without a gap from 1; a card written
//   early (a later batch done first) is not counted until the gap before it
//   closes.
// - Before a name is opened its identity is checked against the guard's, so
//   the source is never written.
// - The files are created in card order, by one thread at a time: a card
//   whose file cannot be made (a folder made read-only, a full disk) has no
//   later card's file after it, not even one that could not be removed.
// - When a card's write fails, its file is removed at once, so no file holds
//   part of a card; no later card's file is made, every later one made is
//   left unwritten (or, if written already, removed), and Finish() reports
//   the first
//   failure in card order with the count saved before it: exactly
//   vCard1.vcf to vCardN.vcf remain. A later card that cannot be removed is
//   named in the failure's reason.
// - A stop writes every card handed over, so it too leaves whole cards
//   without a gap.
// Every file operation goes through the FileSystem, so tests can make any
// of them fail.
class ParallelWriter {
 public:
  static constexpr std::size_t kBatchCards = 32;
  static constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
  static constexpr std::size_t kMaxBatches = 7;
  static constexpr std::size_t kMaxBytesInFlight = std::size_t{8} << 20;

  // source: the identity every output name is checked against, or nothing
  // when no output can be the source.
  ParallelWriter(FileSystem& files, OutputGuard source, unsigned jobs);
  ParallelWriter(const ParallelWriter&) = delete;
  ParallelWriter& operator=(const ParallelWriter&) = delete;
  ~ParallelWriter();

  // Saves the card numbered `number` (the next one) under `path`. Returns
  // false once a card has failed: the reader stops.
  bool Save(std::uint64_t number, std::filesystem::path path, std::span<const std::byte> card);

  // Hands over the cards held so far, so that they are written while the
  // reader waits for more (a pipe that trickles).
  void Flush();

  // Waits until every card handed over is written, so that the caller can
  // write one in its own way; then Record() what came of it.
  void WaitForAll();
  void Record(std::uint64_t number, std::optional<RunFailure> failure);

  // Cards saved without a gap from 1. Any thread may ask.
  std::uint64_t Saved() const { return saved_.load(std::memory_order_acquire); }
  bool Failed() const { return failed_.load(std::memory_order_acquire); }

  // Ends the run's writing: every card handed over is written (or, after a
  // failure before it, not made, or removed). Returns the first failure, in card
  // order, with the count saved before it.
  std::optional<RunFailure> Finish();

  // What a writer caught, when the first failure was something thrown
  // rather than a file operation failing (after Finish).
  std::exception_ptr Thrown() const { return thrown_; }

 private:
  struct Slot {
    std::uint64_t number;
    std::filesystem::path path;
    std::size_t offset;
    std::size_t size;
    std::unique_ptr<OutputFile> out;  // made, not yet written
    bool saved = false;
  };
  enum class Stage { Waiting, Making, Made, Filling, Done };
  struct Batch {
    std::vector<Slot> slots;
    std::vector<std::byte> bytes;
    Stage stage = Stage::Waiting;
  };

  void HandOver();
  void Work();
  // Takes the next piece of work, if there is any, and does it; called with
  // the mutex held, which it lets go meanwhile.
  bool TakeWork(std::unique_lock<std::mutex>& lock);
  void Make(Batch& batch, std::unique_lock<std::mutex>& lock);
  void Fill(Batch& batch, std::unique_lock<std::mutex>& lock);
  void MakeFiles(Batch& batch);
  void FillFiles(Batch& batch);
  // Counts, and removes after a failure, the oldest batches that are done.
  void Retire();
  void Fail(std::uint64_t number, RunFailure failure, std::exception_ptr thrown = {});
  void RemoveAfterFailure(Slot& slot);

  FileSystem& files_;
  const OutputGuard source_;
  const std::size_t maxBatches_;  // in flight at once; none: one card at a time, inline
  const bool inline_;
  std::atomic<std::uint64_t> saved_{0};
  std::atomic<bool> failed_{false};
  // The first failed card's number, or the largest number: later cards'
  // files are not written. Read without the lock for every card.
  std::atomic<std::uint64_t> failedNumber_{UINT64_MAX};

  std::unique_ptr<Batch> open_;  // the reader's, not handed over yet

  std::mutex mutex_;
  std::condition_variable changed_;            // a batch came, moved on a stage, or left
  bool making_ = false;                        // a thread makes a batch's files
  std::deque<std::unique_ptr<Batch>> flight_;  // handed over, in card order
  std::vector<std::unique_ptr<Batch>> spare_;  // done, kept for new cards
  std::size_t bytesInFlight_ = 0;
  bool ending_ = false;
  std::optional<RunFailure> failure_;
  std::exception_ptr thrown_;
  std::vector<std::thread> writers_;
};

}  // namespace quillmere
