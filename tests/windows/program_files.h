#pragma once
// Files for the tests of the shipped program: scratch folders the program
// writes into, and whole-file reads for byte-for-byte comparisons.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace quillmere::program_tests {

// A new, empty folder under the system's temporary folder, removed with all
// it holds when the owner goes. Its path is in the long form the shell's
// folder browser hands back.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& tag);
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();

  const std::filesystem::path& Path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

std::optional<std::string> ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);

// The name and content of every file in folder.
std::map<std::wstring, std::string> FilesIn(const std::filesystem::path& folder);

// What a stopped run left in a folder: vCard1.vcf .. vCard<files>.vcf, or the
// first fault found (a file of another name, an empty one, one that is not
// exactly card(n), a gap in the numbering); fault is empty when there is none.
struct CardsLeft {
  std::uint64_t files = 0;
  std::string fault;
};
CardsLeft CheckWholeCards(const std::filesystem::path& folder,
                          const std::function<std::string(std::uint64_t)>& card);

}  // namespace quillmere::program_tests
