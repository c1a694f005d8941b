#pragma once
// Paths as the Win32 file layer hands them to the system.
#include <string>
#include <string_view>

namespace quillmere::win32 {

// The extended-length form of a path ("\\?\C:\..." or "\\?\UNC\server\share\..."),
// which the file functions take at any length the file system allows, not only
// up to MAX_PATH, whatever the program's manifest or the system's policy says.
// A relative path is made full against the current folder first, and "/",
// "." and ".." are resolved as the system resolves them in a plain path,
// since the extended form takes every character literally. A path that is
// already in the extended or device form ("\\?\", "\\.\", "\??\") is left
// as it is; so is "" and a path the system cannot make full.
std::wstring ExtendedLengthPath(std::wstring_view path);

}  // namespace quillmere::win32
