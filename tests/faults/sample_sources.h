#pragma once
// Sources with several cards for the failure tests: generated ones that
// cover line ends, marks, UTF-16 and nesting, and real exports read in place.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "whole_files.h"

namespace quillmere::testing {

struct SampleSource {
  std::string name;
  std::string bytes;
};

// A few kinds of multi-card source, generated.
std::vector<SampleSource> GeneratedSources();

// Real exports from the corpus folder by file name; nothing when the corpus
// is absent.
std::optional<SampleSource> CorpusSource(const std::string& fileName);
std::optional<std::filesystem::path> CorpusFolder();

// n plain cards, each a few hundred bytes, with folded and blank lines.
std::string PlainCards(int count, const std::string& lineEnd = "\r\n", int padding = 0);

}  // namespace quillmere::testing
