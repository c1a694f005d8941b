#include "resource_reader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "window_driver.h"

namespace quillmere::resources {
namespace {

std::wstring NameText(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name));
  return name;
}

struct Listing {
  std::vector<ResourceEntry> entries;
  LPCWSTR type = nullptr;
  LPCWSTR name = nullptr;
};

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  auto& listing = *reinterpret_cast<Listing*>(param);
  listing.entries.push_back({NameText(listing.type), NameText(listing.name), language});
  return TRUE;
}

BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  auto& listing = *reinterpret_cast<Listing*>(param);
  listing.name = name;
  ::EnumResourceLanguagesW(module, type, name, AddLanguage, param);
  return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR param) {
  auto& listing = *reinterpret_cast<Listing*>(param);
  listing.type = type;
  ::EnumResourceNamesW(module, type, AddName, param);
  return TRUE;
}

}  // namespace

std::wstring BuildTreePath(const char* unixPath) {
  return driver::WindowsPath(unixPath);
}

std::wstring ProgramPath() {
  return BuildTreePath(QUILLMERE_PROGRAM);
}

UniqueModule LoadProgramResources() {
  UniqueModule module(::LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) ADD_FAILURE() << "cannot load " << QUILLMERE_PROGRAM << ": error " << ::GetLastError();
  return module;
}

std::vector<ResourceEntry> ListResources(HMODULE module) {
  Listing listing;
  ::EnumResourceTypesW(module, AddType, reinterpret_cast<LONG_PTR>(&listing));
  std::sort(listing.entries.begin(), listing.entries.end());
  return listing.entries;
}

Bytes ResourceBytes(HMODULE module, const wchar_t* type, WORD name, WORD language) {
  HRSRC found = ::FindResourceExW(module, type, MAKEINTRESOURCEW(name), language);
  if (!found) return {};
  const auto* data = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, found)));
  if (!data) return {};
  return Bytes(data, data + ::SizeofResource(module, found));
}

Bytes FileBytes(const std::wstring& path) {
  const win32::UniqueFile file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  Bytes bytes(::GetFileSize(file.get(), nullptr));
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
      read != bytes.size()) {
    return {};
  }
  return bytes;
}

std::uint16_t Word(const Bytes& bytes, std::size_t offset) {
  if (offset + 2 > bytes.size()) return 0;
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint32_t Dword(const Bytes& bytes, std::size_t offset) {
  if (offset + 4 > bytes.size()) return 0;
  return static_cast<std::uint32_t>(Word(bytes, offset)) | static_cast<std::uint32_t>(Word(bytes, offset + 2))
                                                               << 16;
}

}  // namespace quillmere::resources
