#include "report.h"

#include <algorithm>
#include <type_traits>

#include "quillmere/messages.h"

namespace quillmere::cli {
namespace {

bool IsControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// One character of a name, or one byte that is not part of valid UTF-8.
struct NamePiece {
  std::size_t size = 1;
  bool shown = true;  // printed as it is; else each of its bytes as octal
};

// Decodes the character at `at`. Natively a name is bytes: a valid UTF-8
// sequence is text, and any other byte stands alone. A Windows name is
// UTF-16, shown as it is but for its controls.
NamePiece PieceAt(const NativeString& name, std::size_t at) {
  const auto lead = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<NativeChar>>(name[at]));
#ifdef _WIN32
  return {1, !IsControl(lead)};
#else
  if (lead < 0x80) return {1, !IsControl(lead)};
  const std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (size == 0 || lead > 0xF4 || name.size() - at < size) return {1, false};
  char32_t c = lead & (0x7Fu >> size);
  for (std::size_t i = 1; i < size; ++i) {
    const auto next = static_cast<unsigned char>(name[at + i]);
    if ((next & 0xC0) != 0x80) return {1, false};
    c = (c << 6) | (next & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < least[size] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {1, false};
  return {size, !IsControl(c)};
#endif
}

bool AllShown(const NativeString& name) {
  for (std::size_t at = 0; at < name.size();) {
    const NamePiece piece = PieceAt(name, at);
    if (!piece.shown) return false;
    at += piece.size;
  }
  return true;
}

NativeString Octal(unsigned byte) {
  const char digits[] = {'\\', static_cast<char>('0' + ((byte >> 6) & 3)),
                         static_cast<char>('0' + ((byte >> 3) & 7)), static_cast<char>('0' + (byte & 7))};
  return Native(std::string_view(digits, sizeof digits));
}

// $'\n', $'\t' or $'\ooo…': a character a terminal would not show, or a byte
// that is no character, as a shell reads it back. Octal values are of the
// bytes as written out (UTF-8), as `ls --quoting-style=shell-escape` gives.
NativeString Escaped(const NativeString& name, NamePiece piece, std::size_t at) {
  switch (name[at]) {
    case '\n':
      return Native("$'\\n'");
    case '\t':
      return Native("$'\\t'");
    case '\r':
      return Native("$'\\r'");
    default:
      break;
  }
  NativeString out = Native("$'");
  for (std::size_t i = 0; i < piece.size; ++i) {
    const auto unit = static_cast<unsigned>(static_cast<std::make_unsigned_t<NativeChar>>(name[at + i]));
#ifdef _WIN32
    if (unit >= 0x80) {  // a C1 control of a wide name, as its two UTF-8 bytes
      out += Octal(0xC0 | (unit >> 6)) + Octal(0x80 | (unit & 0x3F));
      continue;
    }
#endif
    out += Octal(unit);
  }
  return out + Native("'");
}

NativeString WithoutFinalStop(NativeString reason) {
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
  return reason;
}

const char* WhatFailed(FailedStep step) {
  switch (step) {
    case FailedStep::OpenSource:
      return "cannot open ";
    case FailedStep::ReadSource:
      return "cannot read ";
    case FailedStep::CreateOutput:
    case FailedStep::OutputIsSource:
      return "cannot create ";
    case FailedStep::RemoveTemporary:
      return "cannot remove the partly written card ";
    case FailedStep::Unexpected:
      return "cannot finish splitting ";
    case FailedStep::WriteOutput:
      break;
  }
  return "cannot write ";
}

}  // namespace

NativeString Quote(const NativeString& name) {
  const bool plain = AllShown(name);
  const bool apostrophe = name.find('\'') != NativeString::npos;
  if (plain && !apostrophe) return Native("'") + name + Native("'");
  if (plain && name.find_first_of(Native("\"$`\\")) == NativeString::npos) {
    return Native("\"") + name + Native("\"");
  }
  NativeString out;
  bool open = false;
  for (std::size_t at = 0; at < name.size();) {
    const NamePiece piece = PieceAt(name, at);
    const bool inQuotes = piece.shown && name[at] != '\'';
    if (inQuotes != open) {
      out += '\'';
      open = inQuotes;
    }
    if (inQuotes) {
      out.append(name, at, piece.size);
    } else if (name[at] == '\'') {
      out += Native("\\'");
    } else {
      out += Escaped(name, piece, at);
    }
    at += piece.size;
  }
  if (open) out += '\'';
  return out;
}

NativeString SourceName(const NativeString& source, bool standardInput) {
  return standardInput ? Native("standard input") : Quote(source);
}

NativeString FailureLine(const RunFailure& failure, const NativeString& sourceName, bool withCount) {
  const bool aboutSource = failure.step == FailedStep::OpenSource || failure.step == FailedStep::ReadSource ||
                           failure.step == FailedStep::Unexpected;
  NativeString line =
      Native(WhatFailed(failure.step)) + (aboutSource ? sourceName : Quote(failure.file.native()));
  if (!failure.reason.empty()) line += Native(": ") + WithoutFinalStop(failure.reason);
  if (!withCount) return line;
  return line + Native(" (") + WithoutFinalStop(SavedBeforeFailure(failure.saved)) + Native(")");
}

NativeString UnfinishedCardWarning(const NativeString& sourceName, std::uint64_t line, bool checking) {
  return Native("warning: the last card of ") + sourceName + Native(", from line ") + NativeDecimal(line) +
         Native(checking ? ", has no END:VCARD line and would not be saved"
                         : ", has no END:VCARD line and was not saved");
}

NativeString NoCardWarning(const NativeString& sourceName) {
  return Native("warning: ") + sourceName + Native(" has no BEGIN:VCARD line; is it a vCard file?");
}

NativeString OverLimitWarning(std::uint64_t card, std::uint64_t bytes, std::uint64_t file) {
  return Native("warning: card ") + NativeDecimal(card) + Native(" is ") + NativeDecimal(bytes) +
         Native(" bytes, over --max-bytes; it goes alone into vCard") + NativeDecimal(file) + Native(".vcf");
}

NativeString MessageLine(const NativeString& text) {
  return Native(kProgram) + Native(": ") + text + Native("\n");
}

}  // namespace quillmere::cli
