#include "parallel_writer.h"

#include <algorithm>
#include <exception>

#include "card_writer.h"
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

// How many batches may be in flight, each holding its cards' files open,
// within what the process may open. With only one, the threads take turns
// (its files made, then written) and the hand-overs cost more than a second
// thread gains: one card at a time is quicker then.
std::size_t BatchesInFlight(FileSystem& files, unsigned jobs) {
  using Writer = ParallelWriter;
  if (jobs <= 1) return 0;
  const std::size_t fit =
      files.ReserveOpenFiles((Writer::kMaxBatches + 1) * Writer::kBatchCards) / Writer::kBatchCards;
  return fit < 3 ? 0 : std::min(Writer::kMaxBatches, fit - 1);
}

}  // namespace

// Every source gets them: with the making of files (serial in one folder)
// kept going by one thread and the writing done by the others, a second
// writer gains on small cards as well as on photos; a writer without a
// processor of its own costs little, as the reader takes its work when it
// falls behind.
unsigned DefaultJobs() {
  const unsigned processors = std::thread::hardware_concurrency();
  return std::clamp(processors, 1u, 8u);
}

ParallelWriter::ParallelWriter(FileSystem& files, OutputGuard source, unsigned jobs)
    : files_(files),
      source_(std::move(source)),
      maxBatches_(BatchesInFlight(files, jobs)),
      inline_(maxBatches_ == 0) {
  if (inline_) return;
  // The reader writes too, whenever the writers fall behind: one thread
  // fewer than jobs, so that N jobs keep N processors busy.
  writers_.reserve(jobs - 1);
  for (unsigned i = 1; i < jobs; ++i) writers_.emplace_back([this] { Work(); });
}

ParallelWriter::~ParallelWriter() {
  if (writers_.empty()) return;
  try {
    Finish();
  } catch (...) {
    // A destructor may not throw; Finish is where a failure is reported.
  }
}

bool ParallelWriter::Save(std::uint64_t number, std::filesystem::path path, std::span<const std::byte> card) {
  if (Failed()) return false;
  if (inline_) {
    Record(number, WriteWholeCard(files_, source_, path, card));
    return !Failed();
  }
  if (open_ && !open_->slots.empty() && open_->bytes.size() + card.size() > kBatchBytes) HandOver();
  if (!open_) {
    std::lock_guard lock(mutex_);
    if (spare_.empty()) {
      open_ = std::make_unique<Batch>();
      open_->slots.reserve(kBatchCards);
    } else {
      open_ = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  const std::size_t offset = open_->bytes.size();
  open_->bytes.insert(open_->bytes.end(), card.begin(), card.end());
  open_->slots.push_back(Slot{number, std::move(path), offset, card.size(), nullptr});
  if (open_->slots.size() == kBatchCards) HandOver();
  return true;
}

void ParallelWriter::Flush() {
  if (!inline_) HandOver();
}

void ParallelWriter::HandOver() {
  if (!open_ || open_->slots.empty()) return;
  std::unique_lock lock(mutex_, std::defer_lock);
  LockSpinningFirst(lock);
  const auto full = [&] {
    return !flight_.empty() &&
           (flight_.size() >= maxBatches_ || bytesInFlight_ + open_->bytes.size() > kMaxBytesInFlight);
  };
  // No room: the reader takes work itself, and waits only while there is
  // none to take.
  while (full()) {
    if (!TakeWork(lock)) changed_.wait(lock);
  }
  bytesInFlight_ += open_->bytes.size();
  flight_.push_back(std::move(open_));
  lock.unlock();
  changed_.notify_one();
}

// Making the next batch's files comes first: it is the critical path, and
// only one thread may do it at a time. Otherwise the oldest batch whose
// files are made is written.
bool ParallelWriter::TakeWork(std::unique_lock<std::mutex>& lock) {
  Batch* made = nullptr;
  for (auto& batch : flight_) {
    if (batch->stage == Stage::Waiting) {
      if (making_) break;
      Make(*batch, lock);
      return true;
    }
    if (batch->stage == Stage::Made && !made) made = batch.get();
  }
  if (!made) return false;
  Fill(*made, lock);
  return true;
}

void ParallelWriter::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (TakeWork(lock)) continue;
    if (ending_) return;
    changed_.wait(lock);
  }
}

void ParallelWriter::Make(Batch& batch, std::unique_lock<std::mutex>& lock) {
  batch.stage = Stage::Making;
  making_ = true;
  lock.unlock();
  MakeFiles(batch);
  LockSpinningFirst(lock);
  batch.stage = Stage::Made;
  making_ = false;
  changed_.notify_all();
}

void ParallelWriter::Fill(Batch& batch, std::unique_lock<std::mutex>& lock) {
  batch.stage = Stage::Filling;
  lock.unlock();
  FillFiles(batch);
  LockSpinningFirst(lock);
  batch.stage = Stage::Done;
  Retire();
  changed_.notify_all();
}

// One thread at a time, batch after batch: the files are made in card order,
// and none after a failure.
void ParallelWriter::MakeFiles(Batch& batch) {
  for (Slot& slot : batch.slots) {
    if (slot.number > failedNumber_.load(std::memory_order_acquire)) return;
    std::optional<RunFailure> failure;
    std::exception_ptr thrown;
    try {
      slot.out = CreateCardFile(files_, source_, slot.path, failure);
    } catch (...) {
      // Memory running out, above all: the exception goes to the reader,
      // which reports it as the run's failure.
      thrown = std::current_exception();
      failure = RunFailure{FailedStep::Unexpected, slot.path, {}, 0};
    }
    if (slot.out) continue;
    std::lock_guard lock(mutex_);
    Fail(slot.number, std::move(*failure), thrown);
    return;
  }
}

void ParallelWriter::FillFiles(Batch& batch) {
  for (Slot& slot : batch.slots) {
    // After a failure before it, the card's file is left unwritten: it goes
    // when the batch is retired.
    if (!slot.out || slot.number > failedNumber_.load(std::memory_order_acquire)) continue;
    std::optional<RunFailure> failure;
    std::exception_ptr thrown;
    try {
      failure = FillCardFile(files_, std::move(slot.out), slot.path,
                             std::span(batch.bytes).subspan(slot.offset, slot.size));
    } catch (...) {
      // FillCardFile has removed the card's file.
      thrown = std::current_exception();
      failure = RunFailure{FailedStep::Unexpected, slot.path, {}, 0};
    }
    if (!failure) {
      slot.saved = true;
      continue;
    }
    std::lock_guard lock(mutex_);
    Fail(slot.number, std::move(*failure), thrown);
  }
}

// Called with the mutex held. Batches are retired in card order, so every
// failure that can come before a retired card is known by then.
void ParallelWriter::Retire() {
  std::uint64_t saved = saved_.load(std::memory_order_relaxed);
  while (!flight_.empty() && flight_.front()->stage == Stage::Done) {
    std::unique_ptr<Batch> batch = std::move(flight_.front());
    flight_.pop_front();
    const std::uint64_t failed = failedNumber_.load(std::memory_order_relaxed);
    for (Slot& slot : batch->slots) {
      if (slot.number > failed) {
        RemoveAfterFailure(slot);
      } else if (slot.saved && slot.number == saved + 1) {
        ++saved;
      }
    }
    bytesInFlight_ -= batch->bytes.size();
    batch->slots.clear();
    batch->bytes.clear();
    // A buffer reused rather than freed and allocated again: the heap would
    // otherwise give its pages back and fault them in anew for every batch.
    if (batch->bytes.capacity() > 2 * kBatchBytes) batch->bytes = {};
    batch->stage = Stage::Waiting;
    if (spare_.size() <= kMaxBatches) spare_.push_back(std::move(batch));
  }
  saved_.store(saved, std::memory_order_release);
}

// Called with the mutex held, once a failure came before the slot's card.
void ParallelWriter::RemoveAfterFailure(Slot& slot) {
  if (!slot.saved && !slot.out) return;  // never made, or its own write failed and removed it
  slot.out.reset();
  std::optional<IoError> error;
  try {
    error = files_.Remove(slot.path);
  } catch (...) {
    // A writer thread may not let it go; the card is named all the same.
    error = IoError{Native("Something unexpected went wrong.")};
  }
  if (error) {
    failure_->reason += Native(" The card \"") + slot.path.native() +
                        Native("\", written after it, could not be removed either: ") + error->reason;
  }
}

// Called with the mutex held.
void ParallelWriter::Fail(std::uint64_t number, RunFailure failure, std::exception_ptr thrown) {
  if (!failure_ || number < failedNumber_.load(std::memory_order_relaxed)) {
    failure_ = std::move(failure);
    thrown_ = thrown;
    failedNumber_.store(number, std::memory_order_release);
  }
  failed_.store(true, std::memory_order_release);
}

void ParallelWriter::WaitForAll() {
  if (inline_) return;
  HandOver();
  std::unique_lock lock(mutex_);
  while (!flight_.empty()) {
    if (!TakeWork(lock)) changed_.wait(lock);
  }
}

void ParallelWriter::Record(std::uint64_t number, std::optional<RunFailure> failure) {
  std::lock_guard lock(mutex_);
  if (failure) return Fail(number, std::move(*failure));
  const std::uint64_t saved = saved_.load(std::memory_order_relaxed);
  if (number == saved + 1 && number < failedNumber_.load(std::memory_order_relaxed))
    saved_.store(number, std::memory_order_release);
}

std::optional<RunFailure> ParallelWriter::Finish() {
  if (!writers_.empty()) {
    WaitForAll();
    {
      std::lock_guard lock(mutex_);
      ending_ = true;
    }
    changed_.notify_all();
    for (auto& writer : writers_) writer.join();
    writers_.clear();
  }
  std::lock_guard lock(mutex_);
  if (!failure_) return std::nullopt;
  failure_->saved = Saved();
  return failure_;
}

}  // namespace quillmere
