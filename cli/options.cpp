#include "options.h"

#include <algorithm>
#include <array>

#include "option_values.h"
#include "report.h"

namespace quillmere::cli {
namespace {

template <bool Options::*kFlag>
std::optional<NativeString> Set(Options& options, const NativeString&) {
  options.*kFlag = true;
  return std::nullopt;
}

// The N of --jobs N: a whole number from 1 to 64.
std::optional<NativeString> SetJobs(Options& options, const NativeString& text) {
  unsigned jobs = 0;
  const bool digits =
      !text.empty() && text.size() <= 2 &&
      std::all_of(text.begin(), text.end(), [](NativeChar c) { return c >= '0' && c <= '9'; });
  if (digits) {
    for (const NativeChar c : text) jobs = jobs * 10 + static_cast<unsigned>(c - '0');
  }
  if (jobs < 1 || jobs > 64)
    return Native("invalid number of jobs ") + Quote(text) + Native(": give 1 to 64");
  options.jobs = jobs;
  return std::nullopt;
}

constexpr std::array kOptions = {
    OptionSpec{"check", 'c', nullptr, "read SOURCE and report what it holds; write nothing",
               Set<&Options::check>},
    OptionSpec{"quiet", 'q', nullptr, "print no final message and no progress", Set<&Options::quiet>},
    OptionSpec{"names", 'n', nullptr, "name each file after its contact; with --check, list the names",
               Set<&Options::names>},
    OptionSpec{"jobs", 'j', "N", "write up to N files at once (default: the processors, at most 8)", SetJobs},
    OptionSpec{"cards", '\0', "N", "put up to N cards in each file", SetCards},
    OptionSpec{"max-bytes", '\0', "SIZE",
               "put as many cards as fit in SIZE bytes (K, M, G: 1024, 1024^2, 1024^3) in each file",
               SetMaxBytes},
    OptionSpec{"report", 'r', nullptr, "list what each card holds, for an importer; write nothing",
               Set<&Options::report>},
    OptionSpec{"format", '\0', "FORM", "the --report form: text (default), tsv or json", SetFormat},
    OptionSpec{"help", 'h', nullptr, "display this help and exit", Set<&Options::help>},
    OptionSpec{"version", '\0', nullptr, "output version information and exit", Set<&Options::version>},
};

constexpr char kUsageLines[] =
    "Usage: quillmere-split [OPTION]... SOURCE DEST_DIR\n"
    "  or:  quillmere-split --check [OPTION]... SOURCE\n"
    "  or:  quillmere-split --report [--format=FORM] SOURCE\n"
    "Split the vCard file SOURCE into one file per contact, named vCard1.vcf,\n"
    "vCard2.vcf, ... in the folder DEST_DIR (made, parents and all, when it does\n"
    "not exist); files of those names are replaced. Paths are taken exactly as\n"
    "given. With SOURCE -, read standard input.\n"
    "\n";

constexpr char kStatusLines[] =
    "\n"
    "Exit status:\n"
    " 0      every card of the source was saved\n"
    " 1      a failure stopped the run (the message names the file and the reason)\n"
    " 2      wrong usage\n"
    " 3      the run finished, but the last card had no END:VCARD line and was\n"
    "        not saved\n"
    " 128+N  stopped by signal N\n"
    "\n"
    "Examples:\n"
    "  quillmere-split --cards 500 export.vcf batches\n"
    "         files of 500 cards each, for an importer that takes 500 at a time\n"
    "  quillmere-split --report --format=tsv export.vcf\n"
    "         each card's version, size, largest picture, quoted-printable use,\n"
    "         undeclared 8-bit text and line ends; nothing is written\n";

std::string OptionColumn(const OptionSpec& option) {
  std::string text = option.shortName ? std::string("-") + option.shortName + ", " : std::string("    ");
  text += std::string("--") + option.longName;
  if (option.valueName) text += std::string("=") + option.valueName;
  return text;
}

NativeString Dashed(std::string_view dashes, const NativeString& name) {
  return Native(dashes) + name;
}

class Parser {
 public:
  explicit Parser(std::span<const NativeString> args) : args_(args) {}

  ParsedArguments Run() {
    bool optionsEnded = false;
    for (next_ = 0; next_ < args_.size() && result_.error.empty();) {
      const NativeString& arg = args_[next_++];
      if (!optionsEnded && arg == Native("--")) {
        optionsEnded = true;
      } else if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
        result_.options.operands.push_back(arg);
      } else if (arg[1] == '-') {
        Long(arg.substr(2));
      } else {
        Shorts(arg.substr(1));
      }
    }
    return std::move(result_);
  }

 private:
  void Long(const NativeString& text) {
    const auto equals = text.find('=');
    const NativeString name = text.substr(0, equals);
    const OptionSpec* found = nullptr;
    int prefixMatches = 0;
    for (const auto& option : kOptions) {
      const NativeString full = Native(option.longName);
      if (full == name) {
        found = &option;
        prefixMatches = 1;
        break;
      }
      if (full.starts_with(name)) {
        found = &option;
        ++prefixMatches;
      }
    }
    if (prefixMatches != 1) {
      const char* what = prefixMatches == 0 ? "unrecognized option " : "ambiguous option ";
      return Error(Native(what) + Quote(Dashed("--", name)));
    }
    const NativeString shown = Dashed("--", Native(found->longName));
    if (!found->valueName) {
      if (equals != NativeString::npos)
        return Error(Native("option ") + Quote(shown) + Native(" takes no value"));
      return Apply(*found, {});
    }
    if (equals != NativeString::npos) return Apply(*found, text.substr(equals + 1));
    if (next_ == args_.size()) return Error(Native("option ") + Quote(shown) + Native(" requires a value"));
    Apply(*found, args_[next_++]);
  }

  void Shorts(const NativeString& letters) {
    for (std::size_t at = 0; at < letters.size() && result_.error.empty(); ++at) {
      const auto option = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionSpec& candidate) {
        return candidate.shortName != '\0' && NativeChar(candidate.shortName) == letters[at];
      });
      if (option == kOptions.end()) {
        return Error(Native("invalid option -- ") + Quote(letters.substr(at, 1)));
      }
      if (!option->valueName) {
        Apply(*option, {});
        continue;
      }
      if (at + 1 < letters.size()) return Apply(*option, letters.substr(at + 1));
      if (next_ == args_.size()) {
        return Error(Native("option requires a value -- ") + Quote(letters.substr(at, 1)));
      }
      return Apply(*option, args_[next_++]);
    }
  }

  void Apply(const OptionSpec& option, const NativeString& value) {
    if (auto wrong = option.apply(result_.options, value)) Error(std::move(*wrong));
  }

  void Error(NativeString text) { result_.error = std::move(text); }

  std::span<const NativeString> args_;
  std::size_t next_ = 0;
  ParsedArguments result_;
};

}  // namespace

std::span<const OptionSpec> OptionTable() {
  return kOptions;
}

ParsedArguments ParseArguments(std::span<const NativeString> args) {
  return Parser(args).Run();
}

NativeString CheckOperands(const Options& options) {
  const auto& operands = options.operands;
  if (auto wrong = CheckCombination(options); !wrong.empty()) return wrong;
  if (options.check || options.report) {
    if (operands.empty()) return Native("missing SOURCE operand");
    if (operands.size() > 1) {
      return Native("extra operand ") + Quote(operands[1]) +
             Native(options.report ? " (--report takes SOURCE only)" : " (--check takes SOURCE only)");
    }
    return {};
  }
  if (operands.empty()) return Native("missing SOURCE and DEST_DIR operands");
  if (operands.size() == 1) return Native("missing DEST_DIR operand after ") + Quote(operands[0]);
  if (operands.size() > 2) return Native("extra operand ") + Quote(operands[2]);
  if (operands[1].empty()) return Native("DEST_DIR is empty");
  return {};
}

std::string HelpText() {
  std::size_t width = 0;
  for (const auto& option : kOptions) width = std::max(width, OptionColumn(option).size());
  std::string text = kUsageLines;
  for (const auto& option : kOptions) {
    std::string column = OptionColumn(option);
    column.resize(width + 2, ' ');
    text += "  " + column + option.help + "\n";
  }
  return text + kStatusLines;
}

}  // namespace quillmere::cli
