#include "test_support.h"

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
    cards.push_back(ReadWholeFile(file));
  }
}

}  // namespace quillmere::test
