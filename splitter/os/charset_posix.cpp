// Character sets through iconv, file-name case through the C library's
// Unicode tables.
#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <utf8proc.h>
#include <wctype.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "text_charset.h"

namespace quillmere {
namespace {

// glibc's Shift_JIS reads 0x5C as a yen sign, which would hide the
// backslash of every escape; Windows (code page 932) reads a backslash.
// Japanese phones write the Windows variant whatever they call it.
std::string IconvName(std::string_view charset) {
  const std::string lower = AsciiLower(charset);
  for (const char* alias :
       {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms_kanji", "csshiftjis", "windows-31j"}) {
    if (lower == alias) return "CP932";
  }
  return std::string(charset);
}

class Converter {
 public:
  explicit Converter(const std::string& from) : cd_(iconv_open("UTF-32LE", from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

bool DecodeCharset(std::string_view charset, std::string_view bytes, std::u32string& text) {
  const Converter converter(IconvName(charset));
  if (!converter.ok()) return false;
  std::vector<char> in(bytes.begin(), bytes.end());
  std::vector<char> out(4 * bytes.size() + 16);
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(converter.get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) continue;
    if (errno != E2BIG) return false;
    const std::size_t used = static_cast<std::size_t>(outPtr - out.data());
    out.resize(out.size() * 2);
    outPtr = out.data() + used;
    outLeft = out.size() - used;
  }
  if (iconv(converter.get(), nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
    return false;
  text.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(out.data());
  for (; p + 4 <= reinterpret_cast<const unsigned char*>(outPtr); p += 4) {
    text += static_cast<char32_t>(p[0]) | (static_cast<char32_t>(p[1]) << 8) |
            (static_cast<char32_t>(p[2]) << 16) | (static_cast<char32_t>(p[3]) << 24);
  }
  return true;
}

void ComposeNfc(std::u32string& text) {
  std::string utf8;
  for (const char32_t c : text) {
    utf8proc_uint8_t bytes[4];
    const auto size = utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), bytes);
    if (size == 0) return;
    utf8.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
  }
  utf8proc_uint8_t* composed = nullptr;
  const utf8proc_ssize_t size = utf8proc_map(
      reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()), static_cast<utf8proc_ssize_t>(utf8.size()),
      &composed, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (size < 0) return;
  std::u32string out;
  for (utf8proc_ssize_t at = 0; at < size;) {
    utf8proc_int32_t c = 0;
    const utf8proc_ssize_t used = utf8proc_iterate(composed + at, size - at, &c);
    if (used <= 0) break;
    out += static_cast<char32_t>(c);
    at += used;
  }
  std::free(composed);
  text = std::move(out);
}

void FileNameKey(const NativeString& name, NativeString& key) {
  // The C.UTF-8 locale gives the whole of Unicode's simple mappings,
  // whatever locale the process runs in.
  static const locale_t kUnicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  key.clear();
  for (std::size_t i = 0; i < name.size();) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (b < 0x80 || !kUnicode) {
      key += static_cast<char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
      ++i;
      continue;
    }
    // Names here are valid UTF-8 (they were made from code points).
    const std::size_t size = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    char32_t c = b & (0x7F >> size);
    for (std::size_t k = 1; k < size && i + k < name.size(); ++k) c = (c << 6) | (name[i + k] & 0x3F);
    i += size;
    c = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), kUnicode));
    if (c < 0x80) {
      key += static_cast<char>(c);
      continue;
    }
    if (c < 0x800) {
      key += static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      key += static_cast<char>(0xE0 | (c >> 12));
      key += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      key += static_cast<char>(0xF0 | (c >> 18));
      key += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      key += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    key += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace quillmere
