#pragma once
#include <cstdint>
#include <string>

#include "quillmere/file_system.h"
#include "quillmere/native_text.h"
#include "quillmere/scan_statistics.h"

namespace quillmere::cli {

// What --check reports: the splitter's own statistics of the source, with
// the cards it finished and the bytes it read.
struct CheckFacts {
  std::uint64_t bytes = 0;
  std::uint64_t cards = 0;  // the files a split would write
  ScanStatistics seen;
};

// The --check report: one "key: value" line per fact, always in this order,
// so that scripts may read it by key or by line.
std::string CheckReport(const CheckFacts& facts);

// Reads the source once, with the splitter's scanner or, for an 8-bit or
// UTF-8 file that can be mapped, the shape reader that counts as it does;
// writes nothing, prints the report on standard output and any warning on
// standard error. Returns the exit status a split of it would give: 0, 3 for
// an unfinished last card, 1 when it cannot be read.
int RunCheck(const NativeString& source, bool standardInput, FileSystem& files = SystemFiles());

}  // namespace quillmere::cli
