#pragma once
// Files for the platform tests: a file another program holds, and the bytes
// a card of Cards() comes out as.
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace quillmere::testing {

// Card n of Cards(), as its own file holds it.
std::string CardFile(int n);

// Another program opens a file with no sharing, the way a virus scanner or
// the preview pane may, and lets it go after `hold`.
class HeldFile {
 public:
  HeldFile(const std::filesystem::path& file, std::chrono::milliseconds hold)
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
