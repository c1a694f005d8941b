#include "program_files.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

namespace quillmere::program_tests {
namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::wstring& tag) {
  const fs::path base = fs::temp_directory_path();
  const std::wstring name = L"quillmere-" + tag + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(::GetTickCount());
  fs::create_directories(base / name);
  wchar_t longPath[MAX_PATH] = {};
  const DWORD length = ::GetLongPathNameW((base / name).c_str(), longPath, MAX_PATH);
  path_ = length && length < MAX_PATH ? fs::path(longPath) : base / name;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::optional<std::string> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

std::map<std::wstring, std::string> FilesIn(const fs::path& folder) {
  std::map<std::wstring, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().wstring()] = ReadBytes(entry.path()).value_or("<unreadable>");
  }
  return files;
}

CardsLeft CheckWholeCards(const fs::path& folder, const std::function<std::string(std::uint64_t)>& card) {
  static const std::wregex cardName(LR"(vCard([1-9]\d*)\.vcf)");
  CardsLeft left;
  std::uint64_t highest = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::wstring name = entry.path().filename().wstring();
    std::wsmatch match;
    if (!std::regex_match(name, match, cardName))
      return {left.files, "unexpected file " + entry.path().string()};
    const std::uint64_t n = std::stoull(match[1].str());
    const auto bytes = ReadBytes(entry.path());
    if (!bytes || bytes->empty()) return {left.files, entry.path().string() + " is empty"};
    if (*bytes != card(n))
      return {left.files, entry.path().string() + " is not the whole card " + std::to_string(n)};
    ++left.files;
    highest = std::max(highest, n);
  }
  if (left.files != highest)
    left.fault = "the numbering has gaps: " + std::to_string(left.files) + " files up to vCard" +
                 std::to_string(highest) + ".vcf";
  return left;
}

}  // namespace quillmere::program_tests
