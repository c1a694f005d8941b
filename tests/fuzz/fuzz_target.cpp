// libFuzzer target: a random source, read in random sizes, through the
// streaming splitter; anything it does that the whole-file model does not
// say is a crash. The same source through the shape reader behind --check
// must give the scanner's statistics, field by field.
//
// Input layout: three bytes choose the reads, the rest is the source. Each
// input runs twice: with cards held whole, and with cards past a hold limit
// of 1 + (byte 2 mod 61) bytes written as they are read.
//   byte 0, bit 7   set: every read takes a new random size up to the limit
//   byte 1 % 17     e: the limit is 1 + (x mod 2^e), so 1 byte up to 64 KiB
//   bytes 0 and 2   x = (byte 0 & 0x7F) * 256 + byte 2; byte 2 also seeds
//                   the random sizes
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "differential.h"
#include "shape_agreement.h"

namespace {

quillmere::testing::ReadPlan PlanFrom(const std::uint8_t* head) {
  const bool varying = (head[0] & 0x80) != 0;
  const std::size_t span = std::size_t{1} << (head[1] % 17);
  const std::size_t limit = 1 + (static_cast<std::size_t>(head[0] & 0x7F) * 256 + head[2]) % span;
  if (!varying) return [limit](std::size_t asked) { return std::min(asked, limit); };
  auto state = std::make_shared<std::uint32_t>(head[2] * 2654435761u + 1);
  return [limit, state](std::size_t asked) {
    // xorshift: cheap, and the same sizes for the same input.
    *state ^= *state << 13;
    *state ^= *state >> 17;
    *state ^= *state << 5;
    return std::min(asked, 1 + *state % limit);
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::string source(reinterpret_cast<const char*>(data) + 3, size - 3);
  // Cards held whole, and cards past a hold limit of a few bytes, written
  // in parts to a temporary file: both ways must give the model's cards.
  const std::size_t smallHold = 1 + data[2] % 61;
  for (std::size_t hold : {quillmere::SplitRequest{}.largeCardBytes, smallHold}) {
    const std::string difference = quillmere::testing::DifferenceFromModel(source, PlanFrom(data), hold);
    if (!difference.empty()) {
      std::fprintf(stderr, "splitter and model differ (cards past %zu bytes written in parts): %s\n", hold,
                   difference.c_str());
      std::abort();
    }
  }
  // Cut into up to four parts: 1 + byte 1 mod 4.
  const std::string shape = quillmere::testing::ShapeDifference(source, 1 + data[1] % 4);
  if (!shape.empty()) {
    std::fprintf(stderr, "shape reader and scanner differ: %s\n", shape.c_str());
    std::abort();
  }
  return 0;
}
