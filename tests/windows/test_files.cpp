#include "test_files.h"

#include <algorithm>
#include <regex>

namespace quillmere::testing {

std::vector<std::wstring> FileNames(const fs::path& folder) {
  std::vector<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::wstring, std::string> FilesIn(const fs::path& folder) {
  std::map<std::wstring, std::string> files;
  for (const auto& name : FileNames(folder)) files[name] = ReadBytes(folder / name).value_or("<unreadable>");
  return files;
}

std::string Card(std::uint64_t n) {
  const std::string id = std::to_string(n);
  return "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Person;" + id + "\r\nFN:Person " + id + "\r\nTEL;CELL:+1 555 01" +
         id + "\r\nEND:VCARD\r\n";
}

std::string Cards(std::uint64_t count) {
  std::string cards;
  for (std::uint64_t n = 1; n <= count; ++n) cards += Card(n);
  return cards;
}

std::string CardFile(std::uint64_t n) {
  return "\r\n" + Card(n);
}

CardsLeft CheckWholeCards(const fs::path& folder) {
  static const std::wregex cardName(LR"(vCard([1-9]\d*)\.vcf)");
  CardsLeft left;
  std::uint64_t highest = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::wstring name = entry.path().filename().wstring();
    const std::string path = entry.path().string();
    std::wsmatch match;
    if (!std::regex_match(name, match, cardName)) return {left.files, "unexpected file " + path};
    const std::uint64_t n = std::stoull(match[1].str());
    const auto bytes = ReadBytes(entry.path());
    if (!bytes || bytes->empty()) return {left.files, path + " is empty"};
    if (*bytes != CardFile(n)) return {left.files, path + " is not the whole card " + std::to_string(n)};
    ++left.files;
    highest = std::max(highest, n);
  }
  if (left.files != highest) {
    left.fault = "the numbering has gaps: " + std::to_string(left.files) + " files up to vCard" +
                 std::to_string(highest) + ".vcf";
  }
  return left;
}

}  // namespace quillmere::testing
