#pragma once
// Reads the resources of the built program the way the system does: the file
// mapped as data (its code never runs), each resource found by type, name and
// language.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32_handle.h"

namespace quillmere::resources {

using Bytes = std::vector<std::uint8_t>;
using UniqueModule = win32::UniqueAny<HMODULE, ::FreeLibrary>;

// Quillmere2.6.exe as built, and a folder or file of the build tree, as
// Windows paths.
std::wstring ProgramPath();
std::wstring BuildTreePath(const char* unixPath);

// The program file loaded for its resources only; fails the calling test
// (and returns an empty owner) when it cannot be loaded.
UniqueModule LoadProgramResources();

// One resource: type and name as the system reports them ("#3" for the
// number 3, the text itself for a named one) and the language.
struct ResourceEntry {
  std::wstring type;
  std::wstring name;
  WORD language = 0;
  friend bool operator==(const ResourceEntry&, const ResourceEntry&) = default;
  friend auto operator<=>(const ResourceEntry&, const ResourceEntry&) = default;
};

// Every resource of the module, sorted.
std::vector<ResourceEntry> ListResources(HMODULE module);

// The bytes of one resource; empty when there is none of that language.
Bytes ResourceBytes(HMODULE module, const wchar_t* type, WORD name, WORD language);

// The whole content of a file; empty when it cannot be read.
Bytes FileBytes(const std::wstring& path);

// Little-endian fields at an offset, as the resource formats store them.
std::uint16_t Word(const Bytes& bytes, std::size_t offset);
std::uint32_t Dword(const Bytes& bytes, std::size_t offset);

}  // namespace quillmere::resources
