#include "quillmere/shape_scan.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "boundary_words.h"
#include "byte_vectors.h"
#include "processor.h"
#include "quillmere/card_scanner.h"
#include "quillmere/scan_recorder.h"

namespace quillmere {
namespace {

constexpr std::size_t kBlock = 64;
constexpr std::byte kCr{'\r'};
constexpr std::byte kLf{'\n'};
constexpr std::byte kSpace{' '};

// One bit per byte of a 64-byte block, bit i for byte i.
struct BlockMasks {
  std::uint64_t cr = 0;
  std::uint64_t lf = 0;
  std::uint64_t space = 0;
  std::uint64_t wordStart = 0;  // the first two characters of a boundary word, in any case
};

// p points to the block and at least one byte after it, which starts no
// word but may finish one. Written once over the byte vectors: inlined into
// each reading below, it is compiled there for that reading's vector.
template <class Vector>
[[gnu::always_inline]] inline BlockMasks Classify(const std::byte* p) {
  BlockMasks m;
  const Vector caseBit = Vector::Splat(0x20);
  for (std::size_t lane = 0; lane < kBlock; lane += Vector::kLanes) {
    const Vector v = Vector::Load(p + lane);
    const Vector folded = v | caseBit;
    const Vector after = Vector::Load(p + lane + 1) | caseBit;
    m.cr |= v.Equals(Vector::Splat('\r')).Bits() << lane;
    m.lf |= v.Equals(Vector::Splat('\n')).Bits() << lane;
    m.space |= v.Equals(Vector::Splat(' ')).Bits() << lane;
    Vector starts = Vector::Splat(0);
    for (const BoundaryWord& word : kBoundaryWords) {
      starts = starts | (folded.Equals(Vector::Splat(word.text[0] | 0x20)) &
                         after.Equals(Vector::Splat(word.text[1] | 0x20)));
    }
    m.wordStart |= starts.Bits() << lane;
  }
  return m;
}

[[gnu::always_inline]] inline std::uint64_t Count(std::uint64_t bits) {
  return static_cast<std::uint64_t>(std::popcount(bits));
}

// Follows the boundary lines in order with the recorder the scanner uses,
// and works out each card's size as written from where its boundary lines
// lie. Line numbers and line-end bytes are counted from wherever the fold
// began; offsets are the source's (after its mark).
class ShapeFold {
 public:
  explicit ShapeFold(std::size_t markBytes) : markBytes_(markBytes) {}

  bool InsideCard() const { return recorder_.InsideCard(); }

  void Boundary(bool begin, std::uint64_t line, std::size_t lineBegin, std::size_t contentEnd,
                std::uint64_t lineEndBytesBefore, std::size_t spaces) {
    switch (recorder_.Boundary(begin, line)) {
      case ScanRecorder::Effect::OpensCard:
        cardBegin_ = lineBegin;
        cardLineEndBytes_ = lineEndBytesBefore;
        cardSpaces_ = spaces;
        break;
      case ScanRecorder::Effect::InsideCard:
        cardSpaces_ += spaces;
        break;
      case ScanRecorder::Effect::ClosesCard:
        cardSpaces_ += spaces;
        FinishCard(line, contentEnd, lineEndBytesBefore);
        break;
      case ScanRecorder::Effect::Stray:
        break;
    }
  }

  // Continues with a fold of the lines that follow, begun outside any card
  // `lines` lines and `lineEndBytes` line-end bytes later; this fold must be
  // outside any card too.
  void Append(const ShapeFold& later, std::uint64_t lines, std::uint64_t lineEndBytes) {
    recorder_.Append(later.recorder_, lines);
    cardBegin_ = later.cardBegin_;
    cardLineEndBytes_ = lineEndBytes + later.cardLineEndBytes_;
    cardSpaces_ = later.cardSpaces_;
  }

  // lines: all the source's lines; the line-end counts by kind are the
  // caller's.
  SourceShape Finish(std::uint64_t lines) {
    recorder_.Counts().lines = lines;
    return {recorder_.Statistics(), recorder_.Cards()};
  }

 private:
  // As written: the mark, CR LF before every line and after the last, each
  // line without its line end, the boundary lines without their spaces.
  void FinishCard(std::uint64_t endLine, std::size_t contentEnd, std::uint64_t lineEndBytesBefore) {
    const std::uint64_t lines = endLine - recorder_.CardLine() + 1;
    const std::uint64_t content =
        (contentEnd - cardBegin_) - (lineEndBytesBefore - cardLineEndBytes_) - cardSpaces_;
    recorder_.CardDone(markBytes_ + 2 * (lines + 1) + content);
  }

  std::size_t markBytes_;
  ScanRecorder recorder_;
  std::size_t cardBegin_ = 0;
  std::uint64_t cardLineEndBytes_ = 0;  // line-end bytes before the card's BEGIN line
  std::uint64_t cardSpaces_ = 0;        // spaces around the card's boundary words so far
};

// A part of the source that begins at the start of a line and ends with an
// LF or at the source's end, so that its line ends can be read on its own:
// an LF ends a line whatever comes before or after it.
struct Stretch {
  std::span<const std::byte> text;
  std::size_t offset = 0;
  std::uint64_t crBytes = 0;
  std::uint64_t lfBytes = 0;
  std::uint64_t crLfPairs = 0;  // an LF right after a CR, CR CR LF included
  std::uint64_t crCrLfEnds = 0;
  std::uint64_t lineEnds = 0;
};

// Where a fold's counts begin: the lines and line-end bytes before the
// stretch that it does not count.
struct FoldBase {
  std::uint64_t lines = 0;
  std::uint64_t lineEndBytes = 0;
};

// A boundary word, compared in two overlapping 8-byte words: its first and
// last eight bytes, letters in any case.
struct PackedWord {
  explicit PackedWord(const BoundaryWord& word) : size(word.text.size()), opens(word.opens) {
    Pack(word.text.substr(0, 8), head, headFold);
    Pack(word.text.substr(size - 8), tail, tailFold);
  }
  // p: at least `size` bytes.
  bool Matches(const std::byte* p) const {
    std::uint64_t first = 0, last = 0;
    std::memcpy(&first, p, 8);
    std::memcpy(&last, p + size - 8, 8);
    return (first | headFold) == head && (last | tailFold) == tail;
  }
  std::size_t size;
  bool opens;
  std::uint64_t head = 0, headFold = 0, tail = 0, tailFold = 0;

 private:
  // Letters in lower case, with the case bit to fold in; ':' | 0x20 is ':',
  // but so is 0x1A | 0x20: only letters fold.
  static void Pack(std::string_view eight, std::uint64_t& value, std::uint64_t& fold) {
    for (std::size_t i = 0; i < 8; ++i) {
      const bool letter = IsAsciiLetter(eight[i]);
      reinterpret_cast<char*>(&value)[i] = letter ? static_cast<char>(eight[i] | 0x20) : eight[i];
      reinterpret_cast<char*>(&fold)[i] = letter ? '\x20' : '\0';
    }
  }
};

static_assert(std::all_of(kBoundaryWords.begin(), kBoundaryWords.end(),
                          [](const BoundaryWord& word) { return word.text.size() >= 8; }));
const std::array<PackedWord, 2> kPackedWords{PackedWord(kBoundaryWords[0]), PackedWord(kBoundaryWords[1])};

// The first two characters of a line, after any spaces, begin a boundary
// word: hands the line to the fold if it is a boundary line.
void LookAt(const Stretch& stretch, ShapeFold& fold, FoldBase base, std::size_t first,
            std::uint64_t endsBefore, std::uint64_t lineEndBytesBefore) {
  const auto text = stretch.text;
  const BoundaryWord* which = BoundaryWordStartingWith(std::to_integer<std::uint16_t>(text[first]));
  const PackedWord& word = kPackedWords[static_cast<std::size_t>(which - kBoundaryWords.data())];
  if (text.size() - first < word.size || !word.Matches(text.data() + first)) return;
  std::size_t contentEnd = first + word.size;
  while (contentEnd < text.size() && text[contentEnd] == kSpace) ++contentEnd;
  if (contentEnd < text.size() && text[contentEnd] != kCr && text[contentEnd] != kLf) return;
  std::size_t lineBegin = first;
  while (lineBegin > 0 && text[lineBegin - 1] == kSpace) --lineBegin;
  fold.Boundary(word.opens, base.lines + endsBefore + 1, stretch.offset + lineBegin,
                stretch.offset + contentEnd, base.lineEndBytes + lineEndBytesBefore,
                (contentEnd - lineBegin) - word.size);
}

// A block and the two bytes after it, which a word or a line end may need.
constexpr std::size_t kBlockSpan = kBlock + 2;

// Where block k of the text begins; the last bytes, short of a block and
// the two bytes after it, are first copied, with NULs after them, which are
// neither line ends, spaces nor letters.
const std::byte* BlockAt(std::span<const std::byte> text, std::size_t k, std::byte (&tail)[kBlockSpan]) {
  const std::size_t at = k * kBlock;
  if (text.size() - at >= kBlockSpan) return text.data() + at;
  std::memset(tail, 0, kBlockSpan);
  std::memcpy(tail, text.data() + at, text.size() - at);
  return tail;
}

// Line ends are found by kind from the masks of CR and LF bytes: CR LF is
// an LF after a CR, CR CR LF an LF after two CRs (the first of them belongs
// to nothing earlier, as no line end ends in a CR followed by another), and
// a CR is alone unless an LF or CR LF follows it. Every CR and LF byte
// belongs to a line end, so a card's bytes as written follow from where its
// boundary lines lie and how many line-end bytes come before them.
//
// Inlined into each reading below, so that it is compiled for the
// instructions that reading may use; the counts are kept in locals so that
// they stay in registers.
template <BlockMasks (*kClassify)(const std::byte*)>
[[gnu::always_inline]] inline void ReadStretch(Stretch& stretch, ShapeFold& fold, FoldBase base) {
  const auto text = stretch.text;
  const std::size_t blocks = (text.size() + kBlock - 1) / kBlock;
  std::uint64_t previousCr = 0;
  std::uint64_t previousEnds = std::uint64_t{1} << 63;  // a line begins at the first byte
  std::uint64_t spaceCarry = 0;
  std::uint64_t crBytes = 0, lfBytes = 0, crLfPairs = 0, crCrLfEnds = 0, lineEnds = 0;
  std::byte tail[kBlockSpan];
  for (std::size_t k = 0; k < blocks; ++k) {
    const std::byte* p = BlockAt(text, k, tail);
    const BlockMasks m = kClassify(p);
    // Only the two bytes after the block bear on how its line ends end.
    const std::uint64_t nextLf = (p[kBlock] == kLf ? 1u : 0u) | (p[kBlock + 1] == kLf ? 2u : 0u);
    const std::uint64_t nextCr = p[kBlock] == kCr ? 1u : 0u;
    const std::uint64_t crBefore = (m.cr << 1) | (previousCr >> 63);
    const std::uint64_t crTwoBefore = (m.cr << 2) | (previousCr >> 62);
    // The last byte of every line end; a line begins after each.
    std::uint64_t ends = m.lf;
    const std::uint64_t lfCount = Count(m.lf);
    std::uint64_t endsCount = lfCount;
    if (crBefore == m.lf && (m.cr >> 63 <= (nextLf & 1)) && (m.lf & crTwoBefore) == 0) {
      // Every line end here is CR LF, as in most files: each CR has an LF
      // right after it and each LF a single CR before it.
      crLfPairs += lfCount;
    } else if ((m.cr | crBefore) != 0) {
      const std::uint64_t crLf = m.lf & crBefore;
      const std::uint64_t lfAfter = (m.lf >> 1) | (nextLf << 63);
      const std::uint64_t lfTwoAfter = (m.lf >> 2) | (nextLf << 62);
      const std::uint64_t crAfter = (m.cr >> 1) | (nextCr << 63);
      ends |= m.cr & ~lfAfter & ~(crAfter & lfTwoAfter);
      endsCount = Count(ends);
      crLfPairs += Count(crLf);
      crCrLfEnds += Count(crLf & crTwoBefore);
    }
    const std::uint64_t starts = (ends << 1) | (previousEnds >> 63);
    // A line's leading spaces are a run of set bits; adding the run's first
    // bit carries past the run onto the first character after it, which
    // may lie in a later block.
    const std::uint64_t sum = m.space + (starts & m.space);
    const std::uint64_t carried = sum + spaceCarry;
    spaceCarry = (sum < m.space || carried < sum) ? 1 : 0;
    const std::uint64_t firstCharacters = (starts | carried) & ~m.space;
    for (std::uint64_t candidates = firstCharacters & m.wordStart; candidates != 0;
         candidates &= candidates - 1) {
      const int bit = std::countr_zero(candidates);
      const std::uint64_t below = (std::uint64_t{1} << bit) - 1;
      LookAt(stretch, fold, base, k * kBlock + static_cast<std::size_t>(bit), lineEnds + Count(ends & below),
             crBytes + lfBytes + Count((m.cr | m.lf) & below));
    }
    crBytes += Count(m.cr);
    lfBytes += lfCount;
    lineEnds += endsCount;
    previousCr = m.cr;
    previousEnds = ends;
  }
  stretch.crBytes = crBytes;
  stretch.lfBytes = lfBytes;
  stretch.crLfPairs = crLfPairs;
  stretch.crCrLfEnds = crCrLfEnds;
  stretch.lineEnds = lineEnds;
}

using ReadFunction = void (*)(Stretch&, ShapeFold&, FoldBase);

void ReadPortable(Stretch& stretch, ShapeFold& fold, FoldBase base) {
  ReadStretch<Classify<PortableBytes>>(stretch, fold, base);
}

#ifdef QUILLMERE_SSE2
__attribute__((target("sse2"))) void ReadSse2(Stretch& stretch, ShapeFold& fold, FoldBase base) {
  ReadStretch<Classify<Sse2Bytes>>(stretch, fold, base);
}
#endif

#ifdef QUILLMERE_AVX2
__attribute__((target("avx2,popcnt"))) void ReadAvx2(Stretch& stretch, ShapeFold& fold, FoldBase base) {
  ReadStretch<Classify<Avx2Bytes>>(stretch, fold, base);
}
#endif

// Where to cut near `from`: best just before a BEGIN:VCARD line, which is
// most often outside any card, so that the parts' folds join without a
// second reading; else after the next LF. 0 when there is no LF.
std::size_t CutPoint(std::span<const std::byte> text, std::size_t from) {
  constexpr std::size_t kLookAhead = std::size_t{1} << 20;
  std::string cardStart(1, '\n');
  cardStart.append(kBoundaryWords[0].text);
  const auto* begin = reinterpret_cast<const char*>(text.data());
  const std::string_view rest(begin + from, text.size() - from);
  const std::size_t lf = rest.find('\n');
  if (lf == std::string_view::npos) return 0;
  const std::size_t card = rest.substr(0, kLookAhead).find(cardStart);
  return from + (card == std::string_view::npos ? lf : card) + 1;
}

// Cuts the text into about `parts` stretches of about equal size, each
// after an LF; fewer where there are not enough LFs.
std::vector<Stretch> Cut(std::span<const std::byte> text, std::size_t parts) {
  std::vector<Stretch> stretches(1);
  for (std::size_t k = 1; k < parts; ++k) {
    const std::size_t begin = stretches.back().offset;
    const std::size_t end = CutPoint(text, std::max(begin, text.size() / parts * k));
    if (end == 0 || end == text.size()) break;
    stretches.back().text = text.subspan(begin, end - begin);
    stretches.emplace_back().offset = end;
  }
  stretches.back().text = text.subspan(stretches.back().offset);
  return stretches;
}

// Reads the first stretch into `whole` and the others at the same time on
// threads of their own, each into a fold of its own begun outside any card.
// Those are joined to `whole` in order; where the stretch before ended
// inside a card after all, the stretch is read again into `whole`.
void ReadAll(std::vector<Stretch>& stretches, ShapeFold& whole, ReadFunction read) {
  std::vector<ShapeFold> folds(stretches.size(), whole);
  std::vector<std::thread> others;
  std::vector<std::exception_ptr> failures(stretches.size());
  for (std::size_t i = 1; i < stretches.size(); ++i) {
    const auto work = [&, i] {
      try {
        read(stretches[i], folds[i], {});
      } catch (...) {
        failures[i] = std::current_exception();
      }
    };
    try {
      others.emplace_back(work);
    } catch (const std::system_error&) {
      work();  // no thread to be had: read it here
    }
  }
  try {
    read(stretches[0], whole, {});
  } catch (...) {
    failures[0] = std::current_exception();
  }
  for (auto& other : others) other.join();
  for (const auto& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
  FoldBase base{stretches[0].lineEnds, stretches[0].crBytes + stretches[0].lfBytes};
  for (std::size_t i = 1; i < stretches.size(); ++i) {
    if (whole.InsideCard()) {
      read(stretches[i], whole, base);
    } else {
      whole.Append(folds[i], base.lines, base.lineEndBytes);
    }
    base.lines += stretches[i].lineEnds;
    base.lineEndBytes += stretches[i].crBytes + stretches[i].lfBytes;
  }
}

// The shape once every stretch is read: `total` holds the sums of their
// counts.
SourceShape Finished(ShapeFold& whole, SourceEncoding encoding, const Stretch& total, bool openLastLine) {
  SourceShape shape = whole.Finish(total.lineEnds + (openLastLine ? 1 : 0));
  ScanStatistics& s = shape.seen;
  s.encoding = encoding;
  s.crCrLfEnds += total.crCrLfEnds;
  s.crLfEnds += total.crLfPairs - total.crCrLfEnds;
  s.lfEnds += total.lfBytes - total.crLfPairs;
  s.crEnds += total.crBytes - total.crLfPairs - total.crCrLfEnds;
  return shape;
}

void AddCounts(Stretch& total, const Stretch& stretch) {
  total.crBytes += stretch.crBytes;
  total.lfBytes += stretch.lfBytes;
  total.crLfPairs += stretch.crLfPairs;
  total.crCrLfEnds += stretch.crCrLfEnds;
  total.lineEnds += stretch.lineEnds;
}

std::optional<SourceShape> Shape(std::span<const std::byte> source, ReadFunction read, std::size_t parts) {
  std::size_t markBytes = 0;
  const SourceEncoding encoding =
      EncodingOf(source.first(std::min<std::size_t>(source.size(), 3)), markBytes);
  if (encoding != SourceEncoding::Bytes && encoding != SourceEncoding::Utf8Mark) return std::nullopt;
  const auto text = source.subspan(markBytes);
  std::vector<Stretch> stretches = Cut(text, std::max<std::size_t>(parts, 1));
  ShapeFold whole(markBytes);
  ReadAll(stretches, whole, read);
  const bool openLastLine = !text.empty() && text.back() != kCr && text.back() != kLf;
  Stretch total;
  for (const Stretch& stretch : stretches) AddCounts(total, stretch);
  return Finished(whole, encoding, total, openLastLine);
}

ReadFunction BestReading() {
#ifdef QUILLMERE_AVX2
  if (HaveAvx2()) return ReadAvx2;
#endif
#ifdef QUILLMERE_SSE2
  if (HaveSse2()) return ReadSse2;
#endif
  return ReadPortable;
}

// A thread for each this many bytes. Linux may start (or wake) a thread on
// the processor of the thread that made it, as in a virtual machine whose
// idle processor looks taken by the host; there it waits until that one is
// done or the scheduler moves it a few milliseconds later. On a source read
// in less time than that, a second thread only adds the cost of starting it.
constexpr std::size_t kBytesPerThread = std::size_t{8} << 20;
constexpr std::size_t kMostThreads = 8;

}  // namespace

std::vector<ShapeInstructions> ShapeInstructionsHere() {
  std::vector<ShapeInstructions> here{ShapeInstructions::Portable};
#ifdef QUILLMERE_SSE2
  if (HaveSse2()) here.push_back(ShapeInstructions::Sse2);
#endif
#ifdef QUILLMERE_AVX2
  if (HaveAvx2()) here.push_back(ShapeInstructions::Avx2);
#endif
  return here;
}

std::optional<SourceShape> ScanShapeUsing(ShapeInstructions instructions, std::size_t threads,
                                          std::span<const std::byte> source) {
  switch (instructions) {
#ifdef QUILLMERE_AVX2
    case ShapeInstructions::Avx2:
      if (HaveAvx2()) return Shape(source, ReadAvx2, threads);
      break;
#endif
#ifdef QUILLMERE_SSE2
    case ShapeInstructions::Sse2:
      if (HaveSse2()) return Shape(source, ReadSse2, threads);
      break;
#endif
    default:
      break;
  }
  return Shape(source, ReadPortable, threads);
}

struct ShapeReader::Fold {
  explicit Fold(std::size_t markBytes) : whole(markBytes) {}
  ShapeFold whole;
  ReadFunction read = BestReading();
  Stretch total;  // the counts of the stretches read so far
};

ShapeReader::ShapeReader(std::size_t longestLine) : longestLine_(longestLine) {}

ShapeReader::ShapeReader(const ShapeReader& first, std::uint64_t offset)
    : longestLine_(first.longestLine_),
      started_(true),
      markBytes_(first.markBytes_),
      encoding_(first.encoding_),
      offset_(offset),
      fold_(std::make_shared<Fold>(first.markBytes_)) {}

bool ShapeReader::InsideCard() const {
  return fold_ && fold_->whole.InsideCard();
}

void ShapeReader::Flush() {
  Read(carried_);
  carried_.clear();
}

void ShapeReader::Append(const ShapeReader& later) {
  Stretch& total = fold_->total;
  fold_->whole.Append(later.fold_->whole, total.lineEnds, total.crBytes + total.lfBytes);
  AddCounts(total, later.fold_->total);
  if (later.offset_ > offset_) lastByte_ = later.lastByte_;
  offset_ = later.offset_;
}

namespace {

bool EndsLine(std::byte b) {
  return b == kCr || b == kLf;
}

// Whether a line ends after byte i of the text and the next begins a new
// one whatever follows: an LF, or a CR followed by neither CR nor LF (a CR
// then CR may still be a CR CR LF).
bool CanCutAfter(std::span<const std::byte> text, std::size_t i) {
  return text[i] == kLf || (text[i] == kCr && i + 1 < text.size() && !EndsLine(text[i + 1]));
}

}  // namespace

// The mark is known once three bytes are in (or the source has ended);
// the first bytes wait among the carried ones until then. The mark is
// taken off what follows.
bool ShapeReader::Start(std::span<const std::byte>& block) {
  std::byte head[3]{};
  std::size_t known = 0;
  for (std::size_t i = 0; known < 3 && i < carried_.size(); ++i) head[known++] = carried_[i];
  for (std::size_t i = 0; known < 3 && i < block.size(); ++i) head[known++] = block[i];
  encoding_ = EncodingOf(std::span<const std::byte>(head, known), markBytes_);
  if (encoding_ != SourceEncoding::Bytes && encoding_ != SourceEncoding::Utf8Mark) return false;
  const std::size_t fromCarried = std::min(markBytes_, carried_.size());
  carried_.erase(carried_.begin(), carried_.begin() + static_cast<std::ptrdiff_t>(fromCarried));
  block = block.subspan(markBytes_ - fromCarried);
  fold_ = std::make_shared<Fold>(markBytes_);
  started_ = true;
  return true;
}

// Reads text that begins where a line begins and ends where one ends.
void ShapeReader::Read(std::span<const std::byte> text) {
  if (text.empty()) return;
  Stretch stretch;
  stretch.text = text;
  stretch.offset = static_cast<std::size_t>(offset_);
  Stretch& total = fold_->total;
  fold_->read(stretch, fold_->whole, {total.lineEnds, total.crBytes + total.lfBytes});
  AddCounts(total, stretch);
  lastByte_ = text.back();
  offset_ += text.size();
}

bool ShapeReader::Carry(std::span<const std::byte> rest) {
  carried_.insert(carried_.end(), rest.begin(), rest.end());
  return carried_.size() <= longestLine_;
}

bool ShapeReader::Feed(std::span<const std::byte> block) {
  if (!started_) {
    if (carried_.size() + block.size() < 3) return Carry(block);
    if (!Start(block)) return false;
  }
  if (!carried_.empty() && !block.empty()) {
    // The carried line goes on into this block, up to its first place to
    // cut; the carried bytes may end in a CR that only this block tells.
    std::size_t first = 0;
    const bool cutBefore = carried_.back() == kCr && !EndsLine(block[0]);
    if (!cutBefore) {
      while (first < block.size() && !CanCutAfter(block, first)) ++first;
      if (first == block.size()) return Carry(block);
      ++first;
    }
    carried_.insert(carried_.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(first));
    Read(carried_);
    carried_.clear();
    block = block.subspan(first);
  }
  std::size_t cut = block.size();
  while (cut > 0 && !CanCutAfter(block, cut - 1)) --cut;
  Read(block.first(cut));
  return Carry(block.subspan(cut));
}

std::optional<SourceShape> ShapeReader::Finish() {
  std::span<const std::byte> none;
  if (!started_ && !Start(none)) return std::nullopt;
  Read(carried_);
  carried_.clear();
  const bool openLastLine = offset_ > 0 && !EndsLine(lastByte_);
  return Finished(fold_->whole, encoding_, fold_->total, openLastLine);
}

std::optional<SourceShape> ScanShape(std::span<const std::byte> source) {
  const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads =
      std::max<std::size_t>(1, std::min({processors, kMostThreads, source.size() / kBytesPerThread}));
  return ScanShapeUsing(ShapeInstructionsHere().back(), threads, source);
}

}  // namespace quillmere
