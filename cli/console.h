#pragma once
#include <cstdio>

#include "native_text.h"

namespace quillmere::cli {

// Writes native text to a stream as UTF-8 (on Windows, converted from
// UTF-16), with each CR LF written as the platform's line break.
void Print(std::FILE* stream, const NativeString& text);

bool IsTerminal(std::FILE* stream);

}  // namespace quillmere::cli
