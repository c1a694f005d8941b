#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "splitter.h"

namespace quillmere::test {

// Native text from UTF-8 (converted to UTF-16 on Windows).
NativeString N(const std::string& utf8);

std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);

// A card as it is written: CR LF before every line, CR LF at the end.
std::string CardFile(const std::vector<std::string>& lines);

// Every vCardN.vcf of a folder, in number order; stops at the first gap.
std::vector<std::string> OutputCards(const std::filesystem::path& folder);

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  NativeString Text() const { return path_.native(); }

 private:
  std::filesystem::path path_;
};

// Remembers everything a run tells its owner.
class RecordingOwner : public RunOwner {
 public:
  void Progress(std::uint64_t saved) override { progress.push_back(saved); }
  bool KeepGoing() override { return stopAfterLines == 0 || progress.size() < stopAfterLines; }
  void Finished(const RunSummary& s) override { summary = s, finished = true; }
  void Failed(const RunFailure& f) override { failure = f, failed = true; }

  std::vector<std::uint64_t> progress;
  std::size_t stopAfterLines = 0;  // 0: never stop
  bool finished = false;
  bool failed = false;
  RunSummary summary;
  RunFailure failure{};
};

}  // namespace quillmere::test
