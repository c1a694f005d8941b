#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "recording_owner.h"
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

using RecordingOwner = ::quillmere::testing::RecordingOwner;

}  // namespace quillmere::test
