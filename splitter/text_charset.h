#pragma once
#include <string>
#include <string_view>

#include "quillmere/native_text.h"

// The platform's own text services, for naming files after contacts: iconv
// natively, the Win32 code pages on Windows (os/charset_*.cpp).
namespace quillmere {

// A character set's name in lower case, for looking it up: the names are
// ASCII, and no locale may change what "I" becomes.
inline std::string AsciiLower(std::string_view text) {
  std::string lower;
  for (const char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
  return lower;
}

// Decodes bytes written in the named character set ("Shift_JIS",
// "windows-1251", …, in any letter case). False when the converter does not
// know the set or the bytes are not valid in it.
bool DecodeCharset(std::string_view charset, std::string_view bytes, std::u32string& text);

// Composes the text to Unicode's normalisation form C, the one form of
// "René" whether it was written with a precomposed é or an e and a
// combining accent, with the system's own tables (utf8proc natively,
// NormalizeString on Windows). Text the tables cannot take is left as it is.
void ComposeNfc(std::u32string& text);

// The key under which the file system finds a name: every character
// upper-cased by the platform's simple one-to-one mapping, as Windows
// compares file names. Written into key, whose memory is reused.
void FileNameKey(const NativeString& name, NativeString& key);

}  // namespace quillmere
