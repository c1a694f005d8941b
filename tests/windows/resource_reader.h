#pragma once
// Reads the resources of the built program the way the system does: the file
// mapped as data (its code never runs), each resource found by type, name and
// language.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_files.h"
#include "win32_handle.h"
#include "window_driver.h"

namespace quillmere::resources {

using Bytes = std::vector<std::uint8_t>;
using UniqueModule = win32::UniqueAny<HMODULE, ::FreeLibrary>;
inline constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
inline constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Quillmere2.6.exe as built, as a Windows path.
inline std::wstring ProgramPath() {
  return driver::WindowsPath(QUILLMERE_PROGRAM);
}

// The program file loaded for its resources only; fails the calling test
// (and returns an empty owner) when it cannot be loaded.
UniqueModule LoadProgramResources(const std::wstring& file = ProgramPath());

// One resource: type and name as the system reports them ("#3" for the
// number 3, the text itself for a named one) and the language.
struct ResourceEntry {
  std::wstring type;
  std::wstring name;
  WORD language = 0;
  friend auto operator<=>(const ResourceEntry&, const ResourceEntry&) = default;
};

// Every resource of the module, sorted.
std::vector<ResourceEntry> ListResources(HMODULE module);

// The bytes of one resource; empty when there is none of that language.
Bytes ResourceBytes(HMODULE module, const wchar_t* type, WORD name, WORD language);

// The whole content of a file; empty when it cannot be read.
inline Bytes FileBytes(const std::wstring& path) {
  const std::string bytes = testing::ReadWholeFile(path);
  return Bytes(bytes.begin(), bytes.end());
}

// Little-endian fields at an offset, as the resource formats store them.
inline std::uint16_t Word(const Bytes& bytes, std::size_t offset) {
  return offset + 2 > bytes.size() ? 0 : static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}
inline std::uint32_t Dword(const Bytes& bytes, std::size_t offset) {
  return Word(bytes, offset) | static_cast<std::uint32_t>(Word(bytes, offset + 2)) << 16;
}

}  // namespace quillmere::resources
