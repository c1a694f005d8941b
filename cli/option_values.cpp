#include "option_values.h"

#include <cstdint>

#include "report.h"

namespace quillmere::cli {
namespace {

// Well past any file system's largest file, and far from overflowing.
constexpr std::uint64_t kLargest = std::uint64_t{1} << 50;

// A whole number of at most 16 digits, then the rest of the text.
std::optional<std::uint64_t> Leading(const NativeString& text, std::size_t& digits) {
  std::uint64_t value = 0;
  for (digits = 0; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    if (digits == 16) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(text[digits] - '0');
  }
  if (digits == 0) return std::nullopt;
  return value;
}

std::uint64_t SuffixFactor(const NativeString& suffix) {
  if (suffix.empty()) return 1;
  if (suffix.size() != 1) return 0;
  switch (suffix[0]) {
    case 'K':
    case 'k':
      return std::uint64_t{1} << 10;
    case 'M':
    case 'm':
      return std::uint64_t{1} << 20;
    case 'G':
    case 'g':
      return std::uint64_t{1} << 30;
    default:
      return 0;
  }
}

}  // namespace

std::optional<NativeString> SetCards(Options& options, const NativeString& value) {
  std::size_t digits = 0;
  const auto cards = Leading(value, digits);
  if (!cards || digits != value.size() || *cards == 0 || *cards > kLargest)
    return Native("invalid number of cards ") + Quote(value) + Native(": give a whole number from 1");
  options.cards = *cards;
  return std::nullopt;
}

std::optional<NativeString> SetMaxBytes(Options& options, const NativeString& value) {
  std::size_t digits = 0;
  const auto number = Leading(value, digits);
  const std::uint64_t factor = SuffixFactor(value.substr(number ? digits : 0));
  if (!number || factor == 0 || *number == 0 || *number > kLargest / factor)
    return Native("invalid size ") + Quote(value) + Native(": give a whole number of bytes, or of K, M or G");
  options.maxBytes = *number * factor;
  return std::nullopt;
}

std::optional<NativeString> SetFormat(Options& options, const NativeString& value) {
  if (value == Native("text")) {
    options.format = ReportFormat::Text;
  } else if (value == Native("tsv")) {
    options.format = ReportFormat::Tsv;
  } else if (value == Native("json")) {
    options.format = ReportFormat::Json;
  } else {
    return Native("invalid format ") + Quote(value) + Native(": give text, tsv or json");
  }
  return std::nullopt;
}

NativeString CheckCombination(const Options& options) {
  const bool batches = options.cards > 0 || options.maxBytes > 0;
  if (batches && options.names)
    return Native("--names cannot go with --cards or --max-bytes: files of several cards are numbered");
  if (batches && (options.check || options.report))
    return Native("--cards and --max-bytes are for a split; --check and --report write nothing");
  if (options.report && options.names) return Native("--report cannot go with --names");
  if (options.format && !options.report) return Native("--format is for --report");
  return {};
}

}  // namespace quillmere::cli
