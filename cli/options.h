#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quillmere/native_text.h"

namespace quillmere::cli {

// How --report writes its rows.
enum class ReportFormat { Text, Tsv, Json };

// What the command line asked for.
struct Options {
  bool help = false;
  bool version = false;
  bool check = false;
  bool quiet = false;
  bool names = false;                  // files named after their contacts
  unsigned jobs = 0;                   // 0: the default, one writer per processor up to 8
  std::uint64_t cards = 0;             // --cards: cards to a file; 0: one
  std::uint64_t maxBytes = 0;          // --max-bytes: bytes to a file; 0: no limit
  bool report = false;                 // --report: a row per card; writes nothing
  std::optional<ReportFormat> format;  // --format, for --report
  std::vector<NativeString> operands;  // SOURCE and DEST_DIR, exactly as given
};

// One option of the tool. Every option lives in one row of the table, from
// which the parser and --help are both made, so adding an option is adding a
// row (and its line in the manual page, which a test compares).
struct OptionSpec {
  const char* longName;   // without the leading "--"
  char shortName;         // '\0': none
  const char* valueName;  // nullptr: the option takes no value
  const char* help;
  // Records the option; returns what is wrong with its value, if anything.
  std::optional<NativeString> (*apply)(Options& options, const NativeString& value);
};

std::span<const OptionSpec> OptionTable();

struct ParsedArguments {
  Options options;
  NativeString error;  // empty: the arguments are well formed
};

// Reads arguments the way GNU programs do: options may come before or after
// the operands, "--" ends the options, "-" is an operand, a long option may be
// shortened to any unambiguous prefix and take its value as "--name=value" or
// as the next argument, and short options may be grouped ("-qc").
ParsedArguments ParseArguments(std::span<const NativeString> args);

// Checks the operands against the mode; returns what is wrong, if anything.
NativeString CheckOperands(const Options& options);

// The --help text, its option list made from the table.
std::string HelpText();

}  // namespace quillmere::cli
