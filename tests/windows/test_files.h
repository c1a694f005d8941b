#pragma once
// Files for the Windows tests: the cards the tests split, what a run left in
// a folder, and a file another program holds.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scratch_folder.h"
#include "whole_files.h"

namespace quillmere::testing {

namespace fs = std::filesystem;

// The names of the files in a folder, sorted; and with their contents.
std::vector<std::wstring> FileNames(const fs::path& folder);
std::map<std::wstring, std::string> FilesIn(const fs::path& folder);

// `count` cards, each with a name that tells them apart: "Person <n>"; and
// card n as a run writes it into its own file.
std::string Cards(std::uint64_t count);
std::string CardFile(std::uint64_t n);

// What a stopped run left in a folder: vCard1.vcf .. vCard<files>.vcf, or the
// first fault found (a file of another name, an empty one, one that is not
// exactly CardFile(n), a gap in the numbering); fault is empty when none.
struct CardsLeft {
  std::uint64_t files = 0;
  std::string fault;
};
CardsLeft CheckWholeCards(const fs::path& folder);

// Another program opens a file with no sharing, the way a virus scanner or
// the preview pane may, and lets it go after `hold`.
class HeldFile {
 public:
  HeldFile(const fs::path& file, std::chrono::milliseconds hold)
      : handle_(
            CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)),
        release_([this, hold] {
          std::this_thread::sleep_for(hold);
          CloseHandle(handle_);
        }) {}
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  ~HeldFile() { release_.join(); }
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
  std::thread release_;
};

}  // namespace quillmere::testing
