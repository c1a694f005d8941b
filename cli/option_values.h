#pragma once
#include <optional>

#include "options.h"
#include "quillmere/native_text.h"

namespace quillmere::cli {

// The values of --cards, --max-bytes and --format; each returns what is
// wrong with its value, if anything.
std::optional<NativeString> SetCards(Options& options, const NativeString& value);
std::optional<NativeString> SetMaxBytes(Options& options, const NativeString& value);
std::optional<NativeString> SetFormat(Options& options, const NativeString& value);

// Options that cannot go together, whatever their order: the one-line
// reason, or empty.
NativeString CheckCombination(const Options& options);

}  // namespace quillmere::cli
