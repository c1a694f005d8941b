#include "parallel_writer.h"

#include <algorithm>
#include <exception>
#include <string_view>

#include "card_writer.h"
#include "quillmere/splitter.h"
#include "quillmere/splitter.h"

namespace quillmere {
namespace {

// The reader and the writers hold the lock for well under a microsecond,
// but one that sleeps on it costs two context switches and, once they fall
// in step, one for nearly every card. So a short spin comes first.
void LockSpinningFirst(std::unique_lock<std::mutex>& lock) {
  for (int tries = 0; tries < 200; ++tries) {
    if (lock.try_lock()) return;
  }
  lock.lock();
}

}  // namespace

unsigned DefaultJobs() {
  const unsigned processors = std::thread::hardware_concurrency();
  return std::clamp(processors, 1u, 8u);
}

// Why not always DefaultJobs(): on the 2-core build machine two writers
// lost to one by 9 to 15 % on 10,000 cards of a few hundred bytes, because
// making files in one folder does not scale (a floor writing alternate cards
// from two threads is no faster than one thread there), while cards with
// photos of several KB gain from a second writer (0.8 x one writer): copying
// their bytes does scale. So the mean card size at the start of the source
// decides. A source that cannot be looked at first gets one writer, which
// never loses to --jobs 1.
unsigned JobsForSource(std::optional<std::span<const std::byte>> start) {
  constexpr std::size_t kLargeCardBytes = 4096;
  if (!start) return 1;
  // Boundary lines counted with NUL bytes skipped, so that UTF-16 text is
  // counted too; case and leading blanks are ignored as the scanner does.
  constexpr std::string_view kBegin = "begin:vcard";
  std::size_t cards = 0;
  std::size_t matched = 0;
  bool lineStart = true;
  for (const std::byte b : *start) {
    const auto c = static_cast<char>(b);
    if (c == '\0') continue;
    if (c == '\n' || c == '\r') {
      lineStart = true;
      matched = 0;
      continue;
    }
    if (!lineStart) continue;
    if (matched == 0 && (c == ' ' || c == '\t')) continue;
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != kBegin[matched]) {
      lineStart = false;
      matched = 0;
      continue;
    }
    if (++matched == kBegin.size()) {
      ++cards;
      lineStart = false;
      matched = 0;
    }
  }
  // A sample without a boundary line lies inside one large card.
  if (cards == 0) return start->size() >= kJobsSampleBytes ? DefaultJobs() : 1;
  return start->size() / cards >= kLargeCardBytes ? DefaultJobs() : 1;
}

ParallelWriter::ParallelWriter(FileSystem& files, OutputGuard source, unsigned jobs)
    : files_(files), source_(std::move(source)) {
  if (jobs <= 1) return;
  // The reader writes too, whenever the writers fall behind: one thread
  // fewer than jobs, so that N jobs keep N processors busy and none waits
  // to be woken.
  writers_.reserve(jobs - 1);
  for (unsigned i = 1; i < jobs; ++i) writers_.emplace_back([this] { Work(); });
}

ParallelWriter::~ParallelWriter() {
  if (!writers_.empty()) Finish(false);
}

bool ParallelWriter::Save(std::uint64_t number, const std::filesystem::path& path,
                          std::span<const std::byte> card) {
  if (writers_.empty()) {
    Record(number, path, WriteWholeCard(files_, source_, path, card));
    return !Failed();
  }
  Job job{number, path, std::move(nextBuffer_)};
  job.bytes.assign(card.begin(), card.end());
  std::unique_lock lock(mutex_, std::defer_lock);
  LockSpinningFirst(lock);
  // A buffer a writer is done with, for the next card: allocating one per
  // card in one thread and freeing it in another makes the heap shrink and
  // grow again, a page fault for every page of every card.
  if (!spare_.empty()) {
    nextBuffer_ = std::move(spare_.back());
    spare_.pop_back();
  }
  const auto roomFor = [&] {
    return failure_ || cardsInFlight_ == 0 || bytesInFlight_ + card.size() <= kMaxBytesInFlight;
  };
  if (!roomFor()) {
    readerWaiting_ = true;
    room_.wait(lock, roomFor);
    readerWaiting_ = false;
  }
  if (failure_) return false;
  ++cardsInFlight_;
  bytesInFlight_ += card.size();
  queue_.push_back(std::move(job));
  // Writers behind: the reader takes the oldest card waiting, so cards are
  // still started in order.
  if (queue_.size() > kMaxCardsWaiting) {
    WriteOldest(lock);
    return !failure_;
  }
  lock.unlock();
  work_.notify_one();
  return true;
}

void ParallelWriter::WaitForAll() {
  std::unique_lock lock(mutex_);
  readerWaiting_ = true;
  room_.wait(lock, [&] { return cardsInFlight_ == 0; });
  readerWaiting_ = false;
}

void ParallelWriter::Record(std::uint64_t number, const std::filesystem::path& path,
                            std::optional<RunFailure> failure) {
  std::lock_guard lock(mutex_);
  if (!failure) created_ = std::max(created_, number);
  Done(number, path, std::move(failure));
}

// Called with the mutex held.
void ParallelWriter::Done(std::uint64_t number, const std::filesystem::path& path,
                          std::optional<RunFailure> failure) {
  if (failure) {
    if (!failure_ || number < failedNumber_) {
      failure_ = std::move(failure);
      failedNumber_ = number;
    }
    failed_.store(true, std::memory_order_release);
    return;
  }
  std::uint64_t saved = saved_.load(std::memory_order_relaxed);
  if (number != saved + 1) {
    savedAhead_.emplace(number, path);
    return;
  }
  ++saved;
  for (auto next = savedAhead_.begin(); next != savedAhead_.end() && next->first == saved + 1;
       next = savedAhead_.erase(next)) {
    ++saved;
  }
  saved_.store(saved, std::memory_order_release);
}

void ParallelWriter::Work() {
  std::unique_lock lock(mutex_, std::defer_lock);
  LockSpinningFirst(lock);
  for (;;) {
    work_.wait(lock, [&] { return !queue_.empty() || ending_; });
    if (queue_.empty()) return;
    WriteOldest(lock);
  }
}

// Takes the oldest card waiting and writes it; called with the mutex held.
void ParallelWriter::WriteOldest(std::unique_lock<std::mutex>& lock) {
  Job job = std::move(queue_.front());
  queue_.pop_front();
  // After a failure the cards behind it are dropped, but those before it
  // are still written: the failure reported is then always the first in
  // card order, right after the count saved.
  if (Wanted(job.number)) Write(job, lock);
  --cardsInFlight_;
  bytesInFlight_ -= job.bytes.size();
  if (job.bytes.capacity() <= kSpareBytes && spare_.size() <= kMaxCardsWaiting + writers_.size())
    spare_.push_back(std::move(job.bytes));
  // The reader, once it waits for room, is woken when half the bytes have
  // landed rather than after every card: one wake-up per many cards.
  const bool halfEmpty = bytesInFlight_ <= kMaxBytesInFlight / 2;
  if (readerWaiting_ && (halfEmpty || cardsInFlight_ == 0 || failure_)) room_.notify_one();
}

void ParallelWriter::Write(Job& job, std::unique_lock<std::mutex>& lock) {
  turn_.wait(lock, [&] { return created_ + 1 == job.number || !Wanted(job.number); });
  if (!Wanted(job.number)) return;
  lock.unlock();
  std::optional<RunFailure> failure;
  std::exception_ptr thrown;
  std::unique_ptr<OutputFile> out;
  try {
    out = CreateCardFile(files_, source_, job.path, failure);
    if (out) {
      {
        std::lock_guard made(mutex_);
        created_ = job.number;
      }
      turn_.notify_all();
      failure = FillCardFile(files_, std::move(out), job.path, job.bytes);
    }
  } catch (...) {
    // Memory running out, above all: the card fails (FillCardFile has
    // removed its file) and the exception goes to the reader, which reports
    // it as the run's failure.
    thrown = std::current_exception();
    failure = RunFailure{FailedStep::Unexpected, job.path, {}, 0};
  }
  LockSpinningFirst(lock);
  Done(job.number, job.path, std::move(failure));
  if (thrown && failedNumber_ == job.number) thrown_ = thrown;
  // Cards waiting for their turn behind a failed one give up.
  if (failure_) turn_.notify_all();
}

std::optional<RunFailure> ParallelWriter::Finish(bool complete) {
  if (!writers_.empty()) {
    {
      std::lock_guard lock(mutex_);
      ending_ = true;
      dropQueued_ = !complete;
    }
    work_.notify_all();
    turn_.notify_all();
    for (auto& writer : writers_) writer.join();
    writers_.clear();
  }
  if (!failure_) return std::nullopt;
  // Cards after the failed one may have been written by other writers: they
  // go, so that the count reported has no gap after it either.
  for (const auto& [number, path] : savedAhead_) {
    if (number <= failedNumber_) continue;
    if (auto error = files_.Remove(path)) {
      failure_->reason += Native(" The card \"") + path.native() +
                          Native("\", written after it, could not be removed either: ") + error->reason;
    }
  }
  savedAhead_.clear();
  failure_->saved = Saved();
  return failure_;
}

}  // namespace quillmere
