#include "console.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <string>

namespace quillmere::cli {
namespace {

int outputError = 0;

void NoteOutputError(std::FILE* stream) {
  if (stream == stdout && outputError == 0) outputError = errno ? errno : EIO;
}

NativeString PlainLineBreaks(NativeString text) {
  for (std::size_t at = 0; (at = text.find(Native("\r\n"), at)) != NativeString::npos;) text.erase(at, 1);
  return text;
}

#ifdef _WIN32
// The console behind the stream, or nullptr when the stream goes elsewhere.
// _isatty() is not asked: it says yes for NUL and any other character device.
HANDLE ConsoleOf(std::FILE* stream) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return nullptr;
  return handle;
}

std::string Utf8(const NativeString& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
  return out;
}
#endif

}  // namespace

void Print(std::FILE* stream, const NativeString& text) {
  const NativeString plain = PlainLineBreaks(text);
#ifdef _WIN32
  if (const HANDLE console = ConsoleOf(stream)) {
    // A console shows UTF-16 as it is whatever its code page; bytes it would
    // read in its code page and garble.
    std::fflush(stream);
    for (std::size_t at = 0; at < plain.size();) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(plain.size() - at, 16384));
      if (!WriteConsoleW(console, plain.data() + at, chunk, &written, nullptr) || written == 0) break;
      at += written;
    }
    return;
  }
  const std::string out = Utf8(plain);
#else
  const std::string& out = plain;
#endif
  errno = 0;
  if (std::fwrite(out.data(), 1, out.size(), stream) != out.size()) NoteOutputError(stream);
}

void FlushStandardOutput() {
  errno = 0;
  if (std::fflush(stdout) != 0) NoteOutputError(stdout);
}

int CloseStandardOutput() {
  FlushStandardOutput();
  // A write that failed in a flush no one looked at leaves only this mark.
  if (std::ferror(stdout)) NoteOutputError(stdout);
  errno = 0;
  if (std::fclose(stdout) != 0) NoteOutputError(stdout);
  return outputError;
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return ConsoleOf(stream) != nullptr;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace quillmere::cli
