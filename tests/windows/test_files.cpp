#include "test_files.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

namespace quillmere::testing {

namespace {

// Removes a folder and all it holds, each path in its extended form: the
// library's remove_all stops at MAX_PATH.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found)) {
    const std::wstring name = found.cFileName, path = folder + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      ::RemoveDirectoryW(path.c_str()) || ::DeleteFileW(path.c_str());  // the link, never what it points to
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path);
    } else {
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(path.c_str());
    }
  }
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

ScratchFolder::ScratchFolder(const std::wstring& tag) {
  // Process ids come round again, so the time makes the name new.
  static std::atomic<int> counter{0};
  const fs::path made = fs::temp_directory_path() /
                        (L"quillmere-" + tag + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                         std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(++counter));
  fs::create_directories(made);
  wchar_t longPath[MAX_PATH] = {};
  const DWORD length = ::GetLongPathNameW(made.c_str(), longPath, MAX_PATH);
  path_ = length && length < MAX_PATH ? fs::path(longPath) : made;
}

ScratchFolder::~ScratchFolder() {
  RemoveTree(L"\\\\?\\" + path_.wstring());
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
