#pragma once
#include <string>

#include "file_system.h"
#include "native_text.h"
#include "source_survey.h"

namespace quillmere::cli {

// The --check report: one "key: value" line per fact, always in this order,
// so that scripts may read it by key or by line.
std::string CheckReport(const SourceFacts& facts);

// Reads the source once, writes nothing, prints the report on standard
// output and any warning on standard error. Returns the exit status a split
// of it would give: 0, 3 for an unfinished last card, 1 when it cannot be
// read.
int RunCheck(const NativeString& source, bool standardInput, FileSystem& files = SystemFiles());

}  // namespace quillmere::cli
