#pragma once
#include <cstdint>

#include "quillmere/native_text.h"
#include "quillmere/run.h"

namespace quillmere::cli {

constexpr char kProgram[] = "quillmere-split";

// A file name as GNU tools show it in messages, so that every byte of it can
// be seen and pasted back into a shell: 'name', "it's", or 'a'$'\n''b'.
NativeString Quote(const NativeString& name);

// How messages name the source: quoted, or "standard input" for "-".
NativeString SourceName(const NativeString& source, bool standardInput);

// One line: what failed on which file, the system's reason, and (for a
// split) how many cards were saved before it.
NativeString FailureLine(const RunFailure& failure, const NativeString& sourceName, bool withCount = true);

// The source ended inside a card begun on that line; a split has left it
// out (or, for --check, would).
NativeString UnfinishedCardWarning(const NativeString& sourceName, std::uint64_t line, bool checking = false);
NativeString NoCardWarning(const NativeString& sourceName);
// With --max-bytes: card `card`, of `bytes` bytes, is over the limit and
// goes alone into vCard<file>.vcf.
NativeString OverLimitWarning(std::uint64_t card, std::uint64_t bytes, std::uint64_t file);

// "quillmere-split: " before the text, a line break after it.
NativeString MessageLine(const NativeString& text);

}  // namespace quillmere::cli
