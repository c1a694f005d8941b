// The scanner's own parts, each against what it stands in for: the byte
// vectors of --check's classify step against the portable one, lane by
// lane; the recorder joined from two halves against one that saw the whole.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "byte_vectors.h"
#include "processor.h"
#include "quillmere/scan_recorder.h"

namespace quillmere::test {
namespace {

// Bytes that the classify step must tell apart: line ends, the space, the
// letters of the boundary words' starts in both cases, and bytes that equal
// one of those in their low bits or only after | 0x20.
const std::vector<unsigned char> kBytes = {0x00, '\r', '\n', ' ',  'B',  'b',  'E',  'e',  'N',
                                           'n',  0x1A, 0x2D, 0x42, 0x7F, 0x80, 0x8D, 0xC2, 0xFF};

// What the classify step asks of a vector, of the bytes at p: equal to
// `asked`, and `asked` once folded to lower case with an 'e' after it.
struct Answers {
  std::uint64_t equal;
  std::uint64_t pairFolded;
};

template <class Vector>
[[gnu::always_inline]] inline Answers Asked(const std::byte* p, char asked) {
  const Vector v = Vector::Load(p);
  const Vector pair =
      (v | Vector::Splat(0x20)).Equals(Vector::Splat(asked)) & Vector::Load(p + 1).Equals(Vector::Splat('e'));
  return {v.Equals(Vector::Splat(asked)).Bits(), pair.Bits()};
}

struct Lanes {
  std::size_t count;
  Answers (*asked)(const std::byte*, char);
};

#ifdef QUILLMERE_SSE2
__attribute__((target("sse2"))) Answers AskedSse2(const std::byte* p, char asked) {
  return Asked<Sse2Bytes>(p, asked);
}
#endif
#ifdef QUILLMERE_AVX2
__attribute__((target("avx2"))) Answers AskedAvx2(const std::byte* p, char asked) {
  return Asked<Avx2Bytes>(p, asked);
}
#endif

std::vector<Lanes> VectorsHere() {
  std::vector<Lanes> here;
#ifdef QUILLMERE_SSE2
  if (HaveSse2()) here.push_back({Sse2Bytes::kLanes, AskedSse2});
#endif
#ifdef QUILLMERE_AVX2
  if (HaveAvx2()) here.push_back({Avx2Bytes::kLanes, AskedAvx2});
#endif
  return here;
}

// Each byte of the table at each lane, the next byte each byte of the table:
// every lane must answer for its own bytes as the one-byte vector does, and
// no lane's answer may spill into a bit beyond the vector.
TEST(ByteVectors, EveryLaneAnswersForItsOwnByteAsThePortableOne) {
  const char kAsked[] = {'\r', '\n', ' ', 'b', 'e', 'n', 0x02};
  for (const Lanes& lanes : VectorsHere()) {
    SCOPED_TRACE(std::to_string(lanes.count) + " lanes");
    for (std::size_t lane = 0; lane < lanes.count; ++lane) {
      for (unsigned char byte : kBytes) {
        for (unsigned char next : kBytes) {
          std::vector<std::byte> block(lanes.count + 1, std::byte{'q'});
          block[lane] = std::byte{byte};
          block[lane + 1] = std::byte{next};
          for (char asked : kAsked) {
            Answers portable{0, 0};
            for (std::size_t i = 0; i < lanes.count; ++i) {
              const Answers one = Asked<PortableBytes>(&block[i], asked);
              portable.equal |= one.equal << i;
              portable.pairFolded |= one.pairFolded << i;
            }
            const Answers answers = lanes.asked(block.data(), asked);
            ASSERT_EQ(answers.equal, portable.equal)
                << "lane " << lane << ", byte " << int{byte} << ", asked " << int{asked};
            ASSERT_EQ(answers.pairFolded, portable.pairFolded)
                << "lane " << lane << ", bytes " << int{byte} << " " << int{next} << ", asked " << int{asked};
          }
        }
      }
    }
  }
}

// The boundary lines of a source, in order: BEGIN or END, and its line.
struct Line {
  bool opens;
  std::uint64_t number;
};

ScanRecorder Recorded(const std::vector<Line>& lines, std::uint64_t lineCount, std::uint64_t firstLine = 0) {
  ScanRecorder recorder;
  for (const Line& line : lines) {
    if (recorder.Boundary(line.opens, line.number - firstLine) == ScanRecorder::Effect::ClosesCard)
      recorder.CardDone(line.number == 15 ? 90 : line.number);  // the largest card is the middle one
  }
  recorder.Counts().lines = lineCount - firstLine;
  return recorder;
}

// A source read in two parts, the second begun outside any card, must join
// into what one recorder of the whole records: the second part's line
// numbers, stray END lines and card numbers go on from the first's.
TEST(ScanRecorder, TwoPartsJoinedAreTheWhole) {
  const std::vector<Line> source = {{false, 2},  {true, 3},   {true, 5},   {false, 6},  {false, 8},
                                    {false, 9},  {false, 10}, {true, 12},  {false, 15}, {false, 17},
                                    {false, 18}, {true, 19},  {false, 22}, {false, 23}, {true, 26}};
  const std::uint64_t lines = 28;
  const ScanStatistics whole = Recorded(source, lines).Statistics();
  ASSERT_EQ(whole.strayEndLines, 6u);  // more than are kept, some of them in each part
  for (std::size_t cut = 0; cut <= source.size(); ++cut) {
    const std::vector<Line> first(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(cut));
    const std::vector<Line> second(source.begin() + static_cast<std::ptrdiff_t>(cut), source.end());
    ScanRecorder joined = Recorded(first, lines);
    if (joined.InsideCard()) continue;
    // The second part begins on the line after the first one's last boundary.
    const std::uint64_t before = first.empty() ? 0 : first.back().number;
    joined.Append(Recorded(second, lines, before), before);
    joined.Counts().lines = lines;
    const ScanStatistics s = joined.Statistics();
    SCOPED_TRACE("cut after " + std::to_string(cut) + " boundary lines");
    EXPECT_EQ(s.linesOutsideCards, whole.linesOutsideCards);
    EXPECT_EQ(s.strayEndLines, whole.strayEndLines);
    EXPECT_EQ(s.firstStrayEndLines, whole.firstStrayEndLines);
    EXPECT_EQ(s.deepestNesting, whole.deepestNesting);
    EXPECT_EQ(s.largestCard, whole.largestCard);
    EXPECT_EQ(s.largestCardBytes, whole.largestCardBytes);
    EXPECT_EQ(s.unfinishedCardLine, whole.unfinishedCardLine);
    EXPECT_EQ(joined.Cards(), Recorded(source, lines).Cards());
  }
}

}  // namespace
}  // namespace quillmere::test
