#include "quillmere/scan_recorder.h"

#include <algorithm>

namespace quillmere {

ScanStatistics ScanRecorder::Statistics() const {
  ScanStatistics s = stats_;
  if (depth_ == 0) {
    s.linesOutsideCards += s.lines + 1 - outsideFrom_;
  } else {
    s.unfinishedCardLine = cardLine_;
  }
  return s;
}

void ScanRecorder::Append(const ScanRecorder& later, std::uint64_t lines) {
  const ScanStatistics& t = later.stats_;
  stats_.linesOutsideCards += lines + 1 - outsideFrom_ + t.linesOutsideCards;
  outsideFrom_ = lines + later.outsideFrom_;
  constexpr std::size_t kKept = ScanStatistics::kStrayEndLinesKept;
  for (std::size_t i = 0; i < kKept && i < t.strayEndLines && stats_.strayEndLines + i < kKept; ++i)
    stats_.firstStrayEndLines[static_cast<std::size_t>(stats_.strayEndLines) + i] =
        lines + t.firstStrayEndLines[i];
  stats_.strayEndLines += t.strayEndLines;
  stats_.anyBeginLine = stats_.anyBeginLine || t.anyBeginLine;
  stats_.deepestNesting = std::max(stats_.deepestNesting, t.deepestNesting);
  if (t.largestCardBytes > stats_.largestCardBytes) {
    stats_.largestCardBytes = t.largestCardBytes;
    stats_.largestCard = cards_ + t.largestCard;
  }
  cards_ += later.cards_;
  depth_ = later.depth_;
  cardLine_ = lines + later.cardLine_;
}

}  // namespace quillmere
