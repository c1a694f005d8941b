#include "resource_reader.h"

#include <gtest/gtest.h>

#include <algorithm>

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
  reinterpret_cast<Listing*>(param)->name = name;
  return ::EnumResourceLanguagesW(module, type, name, AddLanguage, param), TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR param) {
  reinterpret_cast<Listing*>(param)->type = type;
  return ::EnumResourceNamesW(module, type, AddName, param), TRUE;
}

}  // namespace

UniqueModule LoadProgramResources(const std::wstring& file) {
  UniqueModule module(
      ::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) ADD_FAILURE() << "cannot load " << driver::Narrow(file) << ": error " << ::GetLastError();
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
  const auto* data =
      found ? static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, found))) : nullptr;
  return data ? Bytes(data, data + ::SizeofResource(module, found)) : Bytes();
}

}  // namespace quillmere::resources
