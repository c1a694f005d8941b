#pragma once
#include <filesystem>

namespace quillmere::testing {

// A new, empty folder of a test's own, removed with all it holds afterwards:
// read-only entries too, and on Windows paths past MAX_PATH. On Windows its
// path is in the long form the shell's folder browser hands back.
class ScratchFolder {
 public:
  // `under`: where to make it; the system's temporary folder when empty.
  explicit ScratchFolder(const std::filesystem::path& tag = "test", const std::filesystem::path& under = {});
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();
  const std::filesystem::path& Path() const noexcept { return path_; }
  const std::filesystem::path::string_type& Text() const noexcept { return path_.native(); }

 private:
  std::filesystem::path path_;
};

}  // namespace quillmere::testing
