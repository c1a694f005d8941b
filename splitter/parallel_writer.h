#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "card_writer.h"
#include "file_system.h"
#include "splitter.h"

namespace quillmere {

// Saves the cards of a run, each to its own file, up to `jobs` at once.
//
// One reader hands over the cards in order, numbered from 1. With one job
// each card is written at once, in the caller's thread, straight from the
// bytes handed in: one output file open at a time. With N jobs, N - 1
// threads write copies of the cards, oldest first, and the reader writes
// the oldest waiting card itself whenever more than kMaxCardsWaiting wait:
// N jobs keep N processors busy, and no thread waits to be woken while
// there is work. At most kMaxCardsWaiting cards wait besides the N being
// written, and at most kMaxBytesInFlight bytes (or one larger card alone)
// are held, so memory stays bounded whatever the source.
//
// Whatever the number of jobs, a run keeps every promise of writing one card
// at a time:
// - Saved() counts the cards saved without a gap from 1; a card written
//   early (card 7 while card 6 is still open) is not counted until the gap
//   before it closes.
// - Before a name is opened its identity is checked against the source's,
//   so the source is never written.
// - The files are created in card order: a card's file is made only once
//   every card before it has its file. So a card whose file cannot be made
//   (a folder made read-only, a full disk) has no later card's file after
//   it, not even one that could not be removed again.
// - When a card fails, the cards not yet started are dropped, those being
//   written are finished, and Finish() removes every card after the failed
//   one: exactly vCard1.vcf to vCardN.vcf remain, N being the count
//   reported with the failure, the first failure in card order. A later
//   card that cannot be removed is named in the failure's reason.
// - A card whose write failed is removed at once, so no file holds part of
//   a card.
// Every file operation goes through the FileSystem, so tests can make any
// of them fail.
class ParallelWriter {
 public:
  static constexpr std::size_t kMaxCardsWaiting = 8;
  static constexpr std::size_t kMaxBytesInFlight = std::size_t{8} << 20;

  // source: the identity every output name is checked against, or nothing
  // when no output can be the source.
  ParallelWriter(FileSystem& files, OutputGuard source, unsigned jobs);
  ParallelWriter(const ParallelWriter&) = delete;
  ParallelWriter& operator=(const ParallelWriter&) = delete;
  ~ParallelWriter();

  // Saves the card numbered `number` (the next one) under `path`. Returns
  // false once a card has failed: the reader stops.
  bool Save(std::uint64_t number, const std::filesystem::path& path, std::span<const std::byte> card);

  // Waits until no card is in flight, so that the caller can write one in
  // its own way; then Record() what came of it.
  void WaitForAll();
  void Record(std::uint64_t number, const std::filesystem::path& path, std::optional<RunFailure> failure);

  // Cards saved without a gap from 1. Any thread may ask.
  std::uint64_t Saved() const { return saved_.load(std::memory_order_acquire); }
  bool Failed() const { return failed_.load(std::memory_order_acquire); }

  // Ends the run's writing. complete: the source was read to its end, so
  // every card handed over is written; otherwise (a stop, a failure) cards
  // not yet started are dropped. Returns the first failure, in card order,
  // with the count saved before it, after removing every card after it.
  std::optional<RunFailure> Finish(bool complete);

  // What a writer caught, when the first failure was something thrown
  // rather than a file operation failing (after Finish).
  std::exception_ptr Thrown() const { return thrown_; }

 private:
  struct Job {
    std::uint64_t number;
    std::filesystem::path path;
    std::vector<std::byte> bytes;
  };

  void Work();
  void WriteOldest(std::unique_lock<std::mutex>& lock);
  // Whether a card is still to be written: no stop, no earlier failure.
  bool Wanted(std::uint64_t number) const { return !dropQueued_ && (!failure_ || number < failedNumber_); }
  // Writes the card once every earlier card has its file; with the mutex
  // held, which it lets go while files are made and written.
  void Write(Job& job, std::unique_lock<std::mutex>& lock);
  void Done(std::uint64_t number, const std::filesystem::path& path, std::optional<RunFailure> failure);

  FileSystem& files_;
  const OutputGuard source_;
  std::atomic<std::uint64_t> saved_{0};
  std::atomic<bool> failed_{false};

  std::mutex mutex_;
  std::condition_variable work_;  // a job is queued, or the writers are to end
  std::condition_variable room_;  // a card left the flight, or everything did
  std::condition_variable turn_;  // a card's file was made, or a card failed
  std::uint64_t created_ = 0;     // every card up to this one has its file
  std::deque<Job> queue_;
  // Buffers of written cards kept for new ones, up to kSpareBytes each; the
  // reader holds the one for its next card.
  static constexpr std::size_t kSpareBytes = std::size_t{64} << 10;
  std::vector<std::vector<std::byte>> spare_;
  std::vector<std::byte> nextBuffer_;
  std::size_t cardsInFlight_ = 0;
  std::size_t bytesInFlight_ = 0;
  bool readerWaiting_ = false;                                 // the reader waits for room
  bool ending_ = false;                                        // no more jobs will come
  bool dropQueued_ = false;                                    // jobs not started are not to be written
  std::map<std::uint64_t, std::filesystem::path> savedAhead_;  // saved beyond a gap
  std::optional<RunFailure> failure_;
  std::uint64_t failedNumber_ = 0;
  std::exception_ptr thrown_;
  std::vector<std::thread> writers_;
};

// The machine's processors, at most 8: the number of writers when cards are
// large enough to gain from them.
unsigned DefaultJobs();

// The number of writers a run takes when none is asked for, from the start
// of its source (up to kJobsSampleBytes), or from nothing when the source
// cannot be looked at before it is read (standard input, a pipe).
inline constexpr std::size_t kJobsSampleBytes = std::size_t{1} << 20;
unsigned JobsForSource(std::optional<std::span<const std::byte>> start);

}  // namespace quillmere
