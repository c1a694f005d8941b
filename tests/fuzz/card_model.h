#pragma once
// What a split must produce, worked out the slow and obvious way: the whole
// source in memory, decoded into units, cut into a list of lines, then the
// lines into cards. It shares no code with the splitter, so the two can be
// compared on any input.
#include <cstdint>
#include <string>
#include <vector>

namespace quillmere::model {

struct Expected {
  std::vector<std::string> cards;       // the content of vCard1.vcf, vCard2.vcf, ...
  std::vector<std::uint64_t> progress;  // the count reported after each line
  bool unfinishedLastCard = false;
};

Expected SplitWholeFile(const std::string& source);

}  // namespace quillmere::model
