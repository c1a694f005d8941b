// Several writers at once: cards finish out of order, yet the count has no
// gap, a failure leaves exactly the cards before it, a stop leaves whole
// cards only, and the cards in flight stay bounded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "memory_files.h"
#include "parallel_writer.h"
#include "quillmere/splitter.h"

namespace quillmere::testing {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path kFolder = std::filesystem::path("/") / "cards";

std::filesystem::path CardPath(std::uint64_t number) {
  return kFolder / ("vCard" + std::to_string(number) + ".vcf");
}

std::string CardText(std::uint64_t number, std::size_t size = 40) {
  std::string text = "\r\nBEGIN:VCARD\r\nFN:" + std::to_string(number) + "\r\n";
  text.resize(size, 'x');
  return text + "\r\nEND:VCARD\r\n";
}

std::span<const std::byte> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

// Where a held card waits: before its file is made, or once it is made,
// before its bytes are written.
enum class At { Create, Write };

// Memory files whose Create or Write of a chosen card waits until released,
// and may then fail; counts the Writes that have returned. A removal may
// be made to fail too, as in a folder made read-only.
class HeldFiles final : public FileSystem {
 public:
  HeldFiles() { memory.AddFolder(kFolder); }

  void Hold(std::uint64_t card, bool fail = false, At at = At::Write) {
    std::lock_guard lock(mutex_);
    held_.insert({CardPath(card), at});
    if (fail) failing_.insert(CardPath(card));
  }
  void FailRemovals() { failRemovals_ = true; }
  void Release(std::uint64_t card) {
    std::lock_guard lock(mutex_);
    held_.erase({CardPath(card), At::Create});
    held_.erase({CardPath(card), At::Write});
    changed_.notify_all();
  }
  int Writes() {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  // Waits until `count` Writes have returned (or a second has passed).
  bool WaitForWrites(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 1s, [&] { return writes_ >= count; });
  }

  // Waits until `count` Creates are held (or a second has passed).
  bool WaitForHeld(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 1s, [&] { return waiting_ >= count; });
  }

  std::unique_ptr<SourceFile> OpenSource(const std::filesystem::path& path,
                                         std::optional<IoError>& error) override {
    return memory.OpenSource(path, error);
  }
  std::unique_ptr<OutputFile> Create(const std::filesystem::path& path,
                                     std::optional<IoError>& error) override {
    return HeldCreate(path, error, [&] { return memory.Create(path, error); });
  }
  std::unique_ptr<OutputFile> CreateNew(const std::filesystem::path& path,
                                        std::optional<IoError>& error) override {
    return HeldCreate(path, error, [&] { return memory.CreateNew(path, error); });
  }
  std::optional<IoError> Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return memory.Rename(from, to);
  }
  std::optional<IoError> RenameNew(const std::filesystem::path& from,
                                   const std::filesystem::path& to) override {
    return memory.RenameNew(from, to);
  }
  std::optional<IoError> Remove(const std::filesystem::path& path) override {
    if (failRemovals_) return IoError{Native("Permission denied")};
    return memory.Remove(path);
  }
  std::optional<FileId> IdOf(const std::filesystem::path& path) override { return memory.IdOf(path); }

  MemoryFiles memory;

 private:
  // The file of a card held at its write waits there.
  class HeldOutput final : public OutputFile {
   public:
    HeldOutput(HeldFiles& files, std::filesystem::path path, std::unique_ptr<OutputFile> inner)
        : files_(files), path_(std::move(path)), inner_(std::move(inner)) {}
    std::optional<IoError> Write(std::span<const std::byte> data) override {
      if (!files_.Wait(path_, At::Write)) return IoError{Native("held card fails")};
      auto error = inner_->Write(data);
      files_.Wrote();
      return error;
    }
    std::optional<IoError> Close() override { return inner_->Close(); }

   private:
    HeldFiles& files_;
    std::filesystem::path path_;
    std::unique_ptr<OutputFile> inner_;
  };

  void Wrote() {
    std::lock_guard lock(mutex_);
    ++writes_;
    changed_.notify_all();
  }

  // Waits while the card is held there; false when it is to fail then.
  bool Wait(const std::filesystem::path& path, At at) {
    std::unique_lock lock(mutex_);
    if (!held_.contains({path, at})) return true;
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !held_.contains({path, at}); });
    --waiting_;
    return !failing_.contains(path);
  }

  // Either way of creating a file waits while its card is held.
  template <typename Make>
  std::unique_ptr<OutputFile> HeldCreate(const std::filesystem::path& path, std::optional<IoError>& error,
                                         Make make) {
    if (!Wait(path, At::Create)) {
      error = IoError{Native("held card fails")};
      return nullptr;
    }
    auto out = make();
    if (!out) return out;
    return std::make_unique<HeldOutput>(*this, path, std::move(out));
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::set<std::pair<std::filesystem::path, At>> held_;
  std::set<std::filesystem::path> failing_;
  std::atomic<bool> failRemovals_ = false;
  int writes_ = 0;
  int waiting_ = 0;
};

// The folder holds exactly vCard1.vcf to vCard<saved>.vcf, each its card.
void ExpectExactlyTheFirst(const MemoryFiles& memory, std::uint64_t saved) {
  const auto files = memory.FilesIn(kFolder);
  EXPECT_EQ(files.size(), saved) << "files in the folder differ from the count";
  for (std::uint64_t n = 1; n <= saved; ++n) {
    const auto name = "vCard" + std::to_string(n) + ".vcf";
    ASSERT_TRUE(files.contains(name)) << name << " missing, a gap";
    EXPECT_EQ(files.at(name), CardText(n)) << name;
  }
}

// Saves the cards and hands them over as one batch, as a run does when its
// read waits.
void SaveCards(ParallelWriter& writer, std::uint64_t first, std::uint64_t last, std::size_t size = 40) {
  for (std::uint64_t n = first; n <= last; ++n) {
    const auto text = CardText(n, size);
    writer.Save(n, CardPath(n), Bytes(text));
  }
  writer.Flush();
}

// Batch 1..2 waits on card 2 while batch 3..6 is written by another thread.
TEST(ParallelWriter, CountWaitsForAnEarlierBatchStillBeingWritten) {
  HeldFiles files;
  files.Hold(2);
  ParallelWriter writer(files, std::nullopt, 4);
  SaveCards(writer, 1, 2);
  ASSERT_TRUE(files.WaitForHeld(1));
  SaveCards(writer, 3, 6);
  ASSERT_TRUE(files.WaitForWrites(5)) << "the later batch was not written meanwhile";
  EXPECT_LE(writer.Saved(), 1u) << "cards after a gap were counted";
  files.Release(2);
  EXPECT_FALSE(writer.Finish());
  EXPECT_EQ(writer.Saved(), 6u);
  ExpectExactlyTheFirst(files.memory, 6);
}

// A card's write fails while later batches are written by other threads:
// the first failure in card order is reported, with the count before it, and
// every later card goes (or, if it cannot, is named).
TEST(ParallelWriter, FailedWriteLeavesExactlyTheCardsBeforeTheEarliestFailure) {
  const struct {
    const char* fault;
    std::vector<std::uint64_t> batchEnds;  // batches 1..e1, e1+1..e2, ...
    std::vector<std::uint64_t> failing;    // held, and released in this order to fail
    int writesBeforeRelease;               // of the cards not held
    bool removalsFail;
    std::uint64_t failed;
  } cases[] = {
      {"cards another thread wrote after the failed one stay", {3, 6}, {3}, 5, false, 3},
      {"the first failure in time is reported, not the first in card order", {2, 4}, {4, 2}, 2, false, 2},
      {"a later card that cannot be removed is not named", {2, 3}, {2}, 2, true, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    HeldFiles files;
    for (const auto card : c.failing) files.Hold(card, /*fail=*/true);
    ParallelWriter writer(files, std::nullopt, 4);
    std::uint64_t first = 1;
    for (const auto end : c.batchEnds) {
      SaveCards(writer, first, end);
      first = end + 1;
    }
    ASSERT_TRUE(files.WaitForWrites(c.writesBeforeRelease));
    ASSERT_TRUE(files.WaitForHeld(static_cast<int>(c.failing.size())));
    if (c.removalsFail) files.FailRemovals();
    for (const auto card : c.failing) {
      files.Release(card);
      std::this_thread::sleep_for(20ms);
    }
    const auto failure = writer.Finish();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, FailedStep::WriteOutput);
    EXPECT_EQ(failure->file, CardPath(c.failed));
    EXPECT_EQ(failure->saved, c.failed - 1);
    EXPECT_EQ(writer.Saved(), c.failed - 1);
    if (c.removalsFail) {
      const auto last = "vCard" + std::to_string(c.batchEnds.back()) + ".vcf";
      EXPECT_NE(Printable(failure->reason).find(last), std::string::npos) << Printable(failure->reason);
    } else {
      ExpectExactlyTheFirst(files.memory, c.failed - 1);
    }
  }
}

TEST(ParallelWriter, AfterAFailureNoFurtherCardIsAcceptedOrWritten) {
  HeldFiles files;
  files.Hold(1, /*fail=*/true);
  ParallelWriter writer(files, std::nullopt, 2);
  SaveCards(writer, 1, 1);
  ASSERT_TRUE(files.WaitForHeld(1));
  SaveCards(writer, 2, 30);
  files.Release(1);
  while (!writer.Failed()) std::this_thread::sleep_for(1ms);
  const auto text = CardText(31);
  EXPECT_FALSE(writer.Save(31, CardPath(31), Bytes(text))) << "the reader was not told to stop";
  ASSERT_TRUE(writer.Finish());
  EXPECT_EQ(files.Writes(), 0) << "a card after the failed one was written";
  ExpectExactlyTheFirst(files.memory, 0);
}

// The stop comes while one batch is held in a writer, more wait, and the
// reader holds a batch not yet handed over: every card whose file was made
// is written, whatever the number of writers.
TEST(ParallelWriter, StopMidBatchWritesEveryCardWhoseFileWasMade) {
  for (const unsigned jobs : {2u, 4u}) {
    for (std::uint64_t held = 1; held <= 7; held += 3) {
      SCOPED_TRACE("jobs " + std::to_string(jobs) + ", card " + std::to_string(held) + " held");
      HeldFiles files;
      files.Hold(held);
      ParallelWriter writer(files, std::nullopt, jobs);
      SaveCards(writer, 1, 3);
      SaveCards(writer, 4, 6);
      for (std::uint64_t n = 7; n <= 9; ++n) {
        const auto text = CardText(n);
        writer.Save(n, CardPath(n), Bytes(text));
      }
      std::thread release([&] {
        std::this_thread::sleep_for(30ms);
        files.Release(held);
      });
      EXPECT_FALSE(writer.Finish());
      release.join();
      EXPECT_EQ(writer.Saved(), 9u) << "a stop left a made file unwritten, or a gap";
      ExpectExactlyTheFirst(files.memory, writer.Saved());
    }
  }
}

// With the writer thread stuck on batch 1 and kMaxBatches in flight, the
// reader makes and writes the waiting batches itself rather than wait idle,
// and then waits, holding the next card.
TEST(ParallelWriter, ReaderWritesWaitingBatchesWhenTheWritersFallBehind) {
  HeldFiles files;
  files.Hold(1);
  ParallelWriter writer(files, std::nullopt, 2);
  SaveCards(writer, 1, 1);
  ASSERT_TRUE(files.WaitForHeld(1));
  const std::uint64_t last = ParallelWriter::kMaxBatches + 1;
  std::thread reader([&] {
    for (std::uint64_t n = 2; n <= last; ++n) SaveCards(writer, n, n);
  });
  EXPECT_TRUE(files.WaitForWrites(static_cast<int>(last) - 2)) << "the reader waited instead of writing";
  std::this_thread::sleep_for(20ms);
  for (std::uint64_t n = 2; n < last; ++n) EXPECT_EQ(files.memory.Content(CardPath(n)), CardText(n));
  EXPECT_FALSE(files.memory.Exists(CardPath(last))) << "more batches than allowed were handed over";
  files.Release(1);
  reader.join();
  EXPECT_FALSE(writer.Finish());
  ExpectExactlyTheFirst(files.memory, last);
}

// The race of a folder made read-only during a run: card 3's file cannot be
// made, and nothing can be removed any more. No later card's file may have
// been made meanwhile, since none could be taken back.
TEST(ParallelWriter, CardWhoseFileCannotBeMadeHasNoLaterCardMadeBeforeIt) {
  HeldFiles files;
  files.Hold(3, /*fail=*/true, At::Create);
  files.FailRemovals();
  ParallelWriter writer(files, std::nullopt, 4);
  std::thread reader([&] { SaveCards(writer, 1, 8); });
  ASSERT_TRUE(files.WaitForHeld(1));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(files.memory.CountIn(kFolder), 2u) << "a later card's file was made before card 3's";
  files.Release(3);
  reader.join();
  const auto failure = writer.Finish();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->file, CardPath(3));
  EXPECT_EQ(failure->saved, 2u);
  ExpectExactlyTheFirst(files.memory, 2);
}

TEST(ParallelWriter, SourceIsRecognisedUnderEveryNameAndNeverWritten) {
  for (const unsigned jobs : {1u, 4u}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    HeldFiles files;
    files.memory.Put(CardPath(5), "the source");
    const auto source = files.memory.IdOf(CardPath(5));
    ParallelWriter writer(files, source, jobs);
    SaveCards(writer, 1, 8);
    const auto failure = writer.Finish();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, FailedStep::OutputIsSource);
    EXPECT_EQ(failure->file, CardPath(5));
    EXPECT_EQ(failure->saved, 4u);
    EXPECT_EQ(files.memory.Content(CardPath(5)), "the source");
    auto left = files.memory.FilesIn(kFolder);
    left.erase("vCard5.vcf");
    EXPECT_EQ(left.size(), 4u) << "cards after the source's name were left";
  }
}

// The reader waits rather than hand over more batches than allowed, by
// number and by bytes, so memory and open files stay bounded however fast it
// reads. Card 1 holds the writer thread, card 2 the reader once it writes a
// batch itself; one card a batch.
TEST(ParallelWriter, BatchesInFlightAreBoundedByNumberAndBytes) {
  constexpr std::size_t kLarge = std::size_t{3} << 20;
  for (const std::size_t size : {std::size_t{40}, kLarge}) {
    const std::size_t expected =
        std::min(ParallelWriter::kMaxBatches, ParallelWriter::kMaxBytesInFlight / size);
    HeldFiles files;
    files.Hold(1);
    files.Hold(2);
    ParallelWriter writer(files, std::nullopt, 2);
    std::atomic<std::size_t> accepted = 0;
    std::thread reader([&] {
      for (std::uint64_t n = 1; n <= expected + 10; ++n) {
        SaveCards(writer, n, n, size);
        ++accepted;
        if (n == 1) files.WaitForHeld(1);  // the writer thread has card 1
      }
    });
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (accepted < expected && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(accepted.load(), expected) << "cards of " << size << " bytes";
    files.Release(1);
    files.Release(2);
    reader.join();
    EXPECT_FALSE(writer.Finish());
    EXPECT_EQ(writer.Saved(), expected + 10);
  }
}

}  // namespace
}  // namespace quillmere::testing
