#pragma once
// Files read and written whole, and text as the 16-bit units a UTF-16 source
// holds.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillmere::testing {

// Everything a file holds; nothing when it cannot be opened.
std::optional<std::string> ReadBytes(const std::filesystem::path& file);
// The same, empty when the file cannot be opened.
std::string ReadWholeFile(const std::filesystem::path& file);
// Replaces the file with these bytes; throws, naming the file, when it cannot.
void WriteWholeFile(const std::filesystem::path& file, const std::string& bytes);

// Text as UTF-16 in the given byte order, with its byte-order mark or (as
// address books write it) without. UTF-8 above U+FFFF becomes a surrogate
// pair.
enum class ByteOrder { Little, Big };
enum class Mark { Without, With };
std::string Utf16(std::u16string_view units, ByteOrder order, Mark mark = Mark::Without);
std::string Utf16(std::string_view utf8, ByteOrder order, Mark mark = Mark::Without);

}  // namespace quillmere::testing
