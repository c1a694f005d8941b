#pragma once
// Runs the streaming splitter over a source held in memory, reading it in
// the given sizes, and compares everything it did with the whole-file model.
#include <cstddef>
#include <functional>
#include <string>

#include "quillmere/splitter.h"

namespace quillmere::testing {

// How many bytes each read hands back, given how many were asked for.
using ReadPlan = std::function<std::size_t(std::size_t requested)>;

// Empty when the splitter and the model agree on the cards (content and
// number), the progress after every line and the unfinished-card flag;
// otherwise what differs first. Cards larger than largeCardBytes go the way
// of a card too large to hold (written in parts to a temporary file); the
// default is the splitter's own.
std::string DifferenceFromModel(const std::string& source, const ReadPlan& reads,
                                std::size_t largeCardBytes = SplitRequest{}.largeCardBytes);

}  // namespace quillmere::testing
