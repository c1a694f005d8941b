#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace quillmere {

// Text in the platform's own character type: UTF-16 on Windows, bytes on
// POSIX. Paths and system messages never pass through the ANSI code page.
using NativeString = std::filesystem::path::string_type;
using NativeChar = NativeString::value_type;

// Widens an ASCII literal to the native character type.
NativeString Native(std::string_view ascii);

// Decimal digits of n in the native character type.
NativeString NativeDecimal(unsigned long long n);

}  // namespace quillmere
