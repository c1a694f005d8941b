#include "program_files.h"

#include <windows.h>

#include <fstream>
#include <iterator>
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

}  // namespace quillmere::program_tests
