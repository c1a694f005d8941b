#include "report.h"

#include <algorithm>

#include "quillmere/messages.h"

namespace quillmere::cli {
namespace {

bool IsControl(NativeChar c) {
  return c < 0x20 || c == 0x7F;
}

// $'\n', $'\t' or $'\ooo': a control character as a shell reads it back.
NativeString Escaped(NativeChar c) {
  switch (c) {
    case '\n':
      return Native("$'\\n'");
    case '\t':
      return Native("$'\\t'");
    case '\r':
      return Native("$'\\r'");
    default:
      break;
  }
  const auto value = static_cast<unsigned>(c);
  const char digits[] = {'$',
                         '\'',
                         '\\',
                         static_cast<char>('0' + ((value >> 6) & 7)),
                         static_cast<char>('0' + ((value >> 3) & 7)),
                         static_cast<char>('0' + (value & 7)),
                         '\''};
  return Native(std::string_view(digits, sizeof digits));
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
  const bool control = std::any_of(name.begin(), name.end(), IsControl);
  const bool apostrophe = name.find('\'') != NativeString::npos;
  if (!control && !apostrophe) return Native("'") + name + Native("'");
  if (!control && name.find_first_of(Native("\"$`\\")) == NativeString::npos) {
    return Native("\"") + name + Native("\"");
  }
  NativeString out;
  bool open = false;
  for (const NativeChar c : name) {
    const bool plain = !IsControl(c) && c != '\'';
    if (plain != open) {
      out += '\'';
      open = plain;
    }
    if (plain) {
      out += c;
    } else if (c == '\'') {
      out += Native("\\'");
    } else {
      out += Escaped(c);
    }
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
