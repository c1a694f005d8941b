#include "test_support.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillmere::test {

NativeString N(const std::string& utf8) {
#ifdef _WIN32
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
  std::wstring wide(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), wide.data(), size);
  return wide;
#else
  return utf8;
#endif
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string CardFile(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += "\r\n" + line;
  return text + "\r\n";
}

std::vector<std::string> OutputCards(const std::filesystem::path& folder) {
  std::vector<std::string> cards;
  for (int n = 1;; ++n) {
    const auto file = folder / ("vCard" + std::to_string(n) + ".vcf");
    if (!std::filesystem::exists(file)) return cards;
    cards.push_back(ReadBytes(file));
  }
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::ostringstream name;
  name << "quillmere-test-" << std::hex << std::random_device{}() << "-" << counter++;
  path_ = std::filesystem::temp_directory_path() / name.str();
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ignored);
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace quillmere::test
