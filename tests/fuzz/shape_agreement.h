#pragma once
// Holds the shape reader behind --check against the scanner a split runs,
// field by field, so that the two can never disagree unnoticed.
#include <cstddef>
#include <string>

namespace quillmere::testing {

// Empty when every way of reading this processor has (each cutting the
// source into up to `threads` parts) gives exactly the scanner's
// statistics and card count, or, for a UTF-16 source, leaves it to the
// scanner; otherwise the first difference.
std::string ShapeDifference(const std::string& source, std::size_t threads);

}  // namespace quillmere::testing
