#include "whole_files.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quillmere::testing {

std::optional<std::string> ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadWholeFile(const std::filesystem::path& file) {
  return ReadBytes(file).value_or("");
}

void WriteWholeFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

std::string Utf16(std::u16string_view units, ByteOrder order, Mark mark) {
  std::string out;
  const auto put = [&](char16_t unit) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += order == ByteOrder::Big ? high : low;
    out += order == ByteOrder::Big ? low : high;
  };
  if (mark == Mark::With) put(u'\xFEFF');
  for (char16_t unit : units) put(unit);
  return out;
}

std::string Utf16(std::string_view utf8, ByteOrder order, Mark mark) {
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t size = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t point = static_cast<char32_t>(size == 1 ? lead : lead & (0x7F >> size));
    for (std::size_t k = 1; k < size; ++k) point = (point << 6) | static_cast<char32_t>(utf8[i + k] & 0x3F);
    if (point > 0xFFFF) {
      point -= 0x10000;
      units += static_cast<char16_t>(0xD800 + (point >> 10));
      units += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
    } else {
      units += static_cast<char16_t>(point);
    }
    i += size;
  }
  return Utf16(units, order, mark);
}

}  // namespace quillmere::testing
