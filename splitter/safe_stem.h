#pragma once
#include <string>
#include <string_view>

namespace quillmere {

// Makes text safe as a file name stem on Windows, macOS and Linux: each of
// < > : " / \ | ? * and every other control character becomes "_", white
// space (tabs and line breaks included) collapses to single spaces, spaces
// and dots go from either end, at most 100 code points (and at most 200
// bytes in UTF-8, which keeps every name within the 255-byte limit of
// Linux file systems), and a Windows device name before the first dot gets
// "_" after it ("Con" gives "Con_"). Empty when nothing is left.
std::u32string SafeFileStem(std::u32string_view text);

// The same, in place.
void MakeSafe(std::u32string& stem);

}  // namespace quillmere
