// Character sets through the Win32 code pages, file-name case as the
// system's invariant upper-casing gives it.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "card_text.h"
#include "text_charset.h"

namespace quillmere {
namespace {

// The names vCard exports use for character sets, as Windows numbers them.
UINT CodePageOf(std::string_view charset) {
  static const std::pair<const char*, UINT> kNames[] = {
      {"utf-8", 65001},        {"utf8", 65001},       {"us-ascii", 20127},    {"ascii", 20127},
      {"iso-8859-1", 28591},   {"latin1", 28591},     {"iso-8859-2", 28592},  {"iso-8859-3", 28593},
      {"iso-8859-4", 28594},   {"iso-8859-5", 28595}, {"iso-8859-6", 28596},  {"iso-8859-7", 28597},
      {"iso-8859-8", 28598},   {"iso-8859-9", 28599}, {"iso-8859-13", 28603}, {"iso-8859-15", 28605},
      {"shift_jis", 932},      {"shift-jis", 932},    {"sjis", 932},          {"x-sjis", 932},
      {"ms_kanji", 932},       {"csshiftjis", 932},   {"windows-31j", 932},   {"euc-jp", 20932},
      {"iso-2022-jp", 50220},  {"gb2312", 936},       {"gbk", 936},           {"euc-cn", 936},
      {"x-gbk", 936},          {"gb18030", 54936},    {"big5", 950},          {"euc-kr", 949},
      {"ks_c_5601-1987", 949}, {"koi8-r", 20866},     {"koi8-u", 21866},      {"ibm866", 866},
      {"macintosh", 10000},    {"tis-620", 874},      {"utf-7", 65000},
  };
  const std::string lower = AsciiLower(charset);
  for (const auto& [name, page] : kNames) {
    if (lower == name) return page;
  }
  // windows-1251, cp1251, x-cp1251, ibm850, …
  for (const char* prefix : {"windows-", "x-cp", "cp", "ibm"}) {
    const std::string_view start(prefix);
    if (lower.size() > start.size() && lower.compare(0, start.size(), start) == 0) {
      char* end = nullptr;
      const unsigned long page = std::strtoul(lower.c_str() + start.size(), &end, 10);
      if (*end == '\0' && page > 0 && page < 65536) return static_cast<UINT>(page);
    }
  }
  return 0;
}

// Code pages whose conversion refuses MB_ERR_INVALID_CHARS.
bool TakesNoFlags(UINT page) {
  return page == 42 || (page >= 50220 && page <= 50229) || (page >= 57002 && page <= 57011) || page == 65000;
}

}  // namespace

bool DecodeCharset(std::string_view charset, std::string_view bytes, std::u32string& text) {
  const UINT page = CodePageOf(charset);
  if (page == 0 || !IsValidCodePage(page)) return false;
  text.clear();
  if (bytes.empty()) return true;
  const DWORD flags = TakesNoFlags(page) ? 0 : MB_ERR_INVALID_CHARS;
  const int size = MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (size <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
      text += 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
      ++i;
    } else {
      text += c;
    }
  }
  return true;
}

namespace {

using NormalizeStringFunction = int(WINAPI*)(int form, LPCWSTR source, int sourceSize, LPWSTR out,
                                             int outSize);

// NormalizeString lives in kernel32 from Windows 8 and in normaliz.dll
// before; it is looked up at run time, so that the program stays linked
// statically against nothing but the system.
NormalizeStringFunction FindNormalizeString() {
  HMODULE module = GetModuleHandleW(L"kernel32.dll");
  FARPROC found = module ? GetProcAddress(module, "NormalizeString") : nullptr;
  if (!found && (module = LoadLibraryExW(L"normaliz.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)))
    found = GetProcAddress(module, "NormalizeString");
  return reinterpret_cast<NormalizeStringFunction>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

void ComposeNfc(std::u32string& text) {
  static const NormalizeStringFunction normalize = FindNormalizeString();
  constexpr int kNormalizationC = 1;
  if (!normalize || text.empty()) return;
  const std::wstring wide = NativeFromCodePoints(text);
  const int size = static_cast<int>(wide.size());
  int room = normalize(kNormalizationC, wide.c_str(), size, nullptr, 0);
  if (room <= 0) return;
  std::wstring composed(static_cast<std::size_t>(room), L'\0');
  room = normalize(kNormalizationC, wide.c_str(), size, composed.data(), room);
  if (room <= 0) return;
  composed.resize(static_cast<std::size_t>(room));
  std::u32string out;
  for (std::size_t i = 0; i < composed.size(); ++i) {
    const char32_t c = composed[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < composed.size()) {
      out += 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(composed[++i]) - 0xDC00);
    } else {
      out += c;
    }
  }
  text = std::move(out);
}

void FileNameKey(const NativeString& name, NativeString& key) {
  key = name;
  if (key.empty()) return;
  const int size = static_cast<int>(key.size());
  // In place: the simple mappings keep the length.
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), size, key.data(), size, nullptr,
                    nullptr, 0) == 0) {
    for (auto& c : key) c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c;
  }
}

}  // namespace quillmere
