#pragma once
// Runs the streaming splitter over a source held in memory, reading it in
// the given sizes, and compares everything it did with the whole-file model.
#include <cstddef>
#include <functional>
#include <string>

namespace quillmere::testing {

// How many bytes each read hands back, given how many were asked for.
using ReadPlan = std::function<std::size_t(std::size_t requested)>;

// Empty when the splitter and the model agree on the cards (content and
// number), the progress after every line and the unfinished-card flag;
// otherwise what differs first.
std::string DifferenceFromModel(const std::string& source, const ReadPlan& reads);

}  // namespace quillmere::testing
