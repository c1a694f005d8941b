#pragma once
// A property's value as text: quoted-printable undone, the bytes read in
// their character set, the escapes undone.
#include <string>
#include <string_view>
#include <vector>

namespace quillmere {

// What a property's parameters say about how its value reads.
struct ValueParams {
  bool quotedPrintable = false;  // ENCODING=QUOTED-PRINTABLE, or the bare 2.1 parameter
  std::string charset;           // CHARSET, as written; empty without one
};

// The parameters of a header: the property name and what follows it, up to
// the colon. Unit: char for bytes, char16_t for UTF-16 units.
template <class Unit>
ValueParams ParamsOf(std::basic_string_view<Unit> header);

// The value's code points: a UTF-16 card's own units (quoted-printable
// bytes excepted); otherwise the charset's, or, without one or with one
// the platform's converter does not know, UTF-8 where the bytes are valid
// UTF-8 and Windows-1252 elsewhere.
template <class Unit>
void DecodeValue(const ValueParams& params, std::basic_string_view<Unit> value, std::u32string& text);

// Undoes the escapes \, \; \\ and \n (\N), a line break becoming a space;
// any other backslash stays. With split, unescaped semicolons end parts.
std::vector<std::u32string> Unescape(std::u32string_view text, bool split);

// Unescape without splitting, in place.
void UnescapeWhole(std::u32string& text);

}  // namespace quillmere
