#include "console.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <string>

namespace quillmere::cli {
namespace {

std::string Utf8(const NativeString& text) {
#ifdef _WIN32
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
  return out;
#else
  return text;
#endif
}

}  // namespace

void Print(std::FILE* stream, const NativeString& text) {
  std::string out = Utf8(text);
  for (std::size_t at = 0; (at = out.find("\r\n", at)) != std::string::npos;) out.erase(at, 1);
  std::fwrite(out.data(), 1, out.size(), stream);
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace quillmere::cli
