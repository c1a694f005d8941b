#include "card_lines.h"

#include <algorithm>
#include <cstring>

#include "boundary_words.h"
#include "card_text.h"
#include "value_decoding.h"

namespace quillmere {
namespace {

template <class Unit>
const Unit* Find(const Unit* p, const Unit* end, Unit unit) {
  if constexpr (sizeof(Unit) == 1) {
    const void* hit = std::memchr(p, unit, static_cast<std::size_t>(end - p));
    return hit ? static_cast<const Unit*>(hit) : end;
  } else {
    return std::find(p, end, unit);
  }
}

template <class Unit>
Prop PropOf(std::basic_string_view<Unit> header) {
  std::size_t end = 0;
  while (end < header.size() && header[end] != ';') ++end;
  auto name = TrimBlanks(header.substr(0, end));
  if (const auto dot = name.rfind('.'); dot != name.npos) name.remove_prefix(dot + 1);
  if (EqualsNoCase(name, "FN")) return kFn;
  if (EqualsNoCase(name, "N")) return kN;
  if (EqualsNoCase(name, "ORG")) return kOrg;
  if (EqualsNoCase(name, "EMAIL")) return kEmail;
  if (EqualsNoCase(name, "TEL")) return kTel;
  return kNone;
}

// +1 for a BEGIN line, -1 for an END line, 0 for any other.
template <class Unit>
int BoundaryOf(std::basic_string_view<Unit> line) {
  for (const BoundaryWord& word : kBoundaryWords) {
    if (EqualsNoCase(line, word.text)) return word.opens ? 1 : -1;
  }
  return 0;
}

}  // namespace

template <class Unit>
std::size_t HeaderEnd(std::basic_string_view<Unit> line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) return i;
  }
  return std::basic_string_view<Unit>::npos;
}

// Cuts the pieces into physical lines.
template <class Unit>
void CardLines<Unit>::Feed(const Unit* p, std::size_t n) {
  const Unit* const end = p + n;
  while (p < end && !done_) {
    if (skipLf_) {
      skipLf_ = false;
      if (*p == '\n') {
        ++p;
        continue;
      }
    }
    const Unit* cr = Find(p, end, Unit{'\r'});
    if (cr == end) {
      Hold(p, end);
      return;
    }
    if (held_ == 0) {
      Line(View(p, static_cast<std::size_t>(cr - p)), static_cast<std::size_t>(cr - p),
           cr > p ? cr[-1] : Unit{});
    } else {
      Hold(p, cr);
      Line(View(line_), held_, last_);
      line_.clear();
      held_ = 0;
    }
    p = cr + 1;
    skipLf_ = true;
  }
}

template <class Unit>
void CardLines<Unit>::Finish() {
  if (!done_ && held_ > 0) Line(View(line_), held_, last_);
  if (!done_) Close();
}

template <class Unit>
void CardLines<Unit>::Reset() {
  line_.clear();
  held_ = 0;
  last_ = Unit{};
  skipLf_ = false;
  quotedPrintable_ = softBreak_ = false;
  depth_ = 0;
  current_ = kNone;
  logical_.clear();
  have_ = {};
  done_ = false;
}

// Keeps the start of a line that continues in the next piece.
template <class Unit>
void CardLines<Unit>::Hold(const Unit* p, const Unit* end) {
  if (p == end) return;
  const auto n = static_cast<std::size_t>(end - p);
  if (line_.size() < kLineCap) line_.append(p, std::min(n, kLineCap - line_.size()));
  held_ += n;
  last_ = end[-1];
}

// One physical line: text is its start (all of it up to kLineCap units),
// length its whole length, last its last unit. It continues the logical
// line, or ends it and starts the next, which may change the nesting or be
// a property line.
template <class Unit>
void CardLines<Unit>::Line(View text, std::size_t length, Unit last) {
  if (const Continuation how = ContinuationOf(text, length); how != Continuation::None) {
    Join(text, how);
  } else {
    Close();
    if (done_) return;
    quotedPrintable_ = false;
    if (FollowNesting(text)) {
      softBreak_ = false;
      return;
    }
    const std::size_t colon = HeaderEnd(text);
    if (colon != text.npos) {
      quotedPrintable_ = QuotedPrintable(text.substr(0, colon));
      Capture(text.substr(0, colon), text);
    }
  }
  softBreak_ = quotedPrintable_ && last == '=';
}

// Unfolding: whether the line continues the logical line before it.
template <class Unit>
auto CardLines<Unit>::ContinuationOf(View text, std::size_t length) const -> Continuation {
  if (length == 0) return Continuation::None;
  const Continuation how = softBreak_                          ? Continuation::SoftBreak
                           : text[0] == ' ' || text[0] == '\t' ? Continuation::Fold
                                                               : Continuation::None;
  return how != Continuation::None && BoundaryOf(text) != 0 ? Continuation::None : how;
}

template <class Unit>
void CardLines<Unit>::Join(View text, Continuation how) {
  if (current_ == kNone) return;
  if (how == Continuation::SoftBreak) {
    if (!logical_.empty() && logical_.back() == '=') logical_.pop_back();
  } else {
    text.remove_prefix(1);
  }
  Keep(text);
}

// Nesting: true for a boundary line, which says nothing else.
template <class Unit>
bool CardLines<Unit>::FollowNesting(View text) {
  const int change = BoundaryOf(text);
  if (change > 0) ++depth_;
  if (change < 0 && depth_ > 0) --depth_;
  return change != 0;
}

// Whether the value is quoted-printable, so that a last "=" is a soft break.
template <class Unit>
bool CardLines<Unit>::QuotedPrintable(View header) const {
  // Most lines say nothing of quoted-printable: spare them the parsing.
  const bool mayBe = std::any_of(header.begin(), header.end(), [](Unit u) { return u == 'Q' || u == 'q'; });
  return mayBe && ParamsOf(header).quotedPrintable;
}

// Capture: keeps the first line of each naming property at the card's own
// level, and hands it on once it is whole.
template <class Unit>
void CardLines<Unit>::Capture(View header, View text) {
  if (depth_ != 1) return;
  const Prop prop = PropOf(header);
  if (prop == kNone || have_[prop]) return;
  current_ = prop;
  Keep(text);
}

template <class Unit>
void CardLines<Unit>::Keep(View text) {
  if (logical_.size() < kLineCap) logical_.append(text.substr(0, kLineCap - logical_.size()));
}

template <class Unit>
void CardLines<Unit>::Close() {
  if (current_ == kNone) return;
  const Prop prop = current_;
  current_ = kNone;
  have_[prop] = true;
  done_ = taken_(context_, prop, View(logical_));
  logical_.clear();
}

template std::size_t HeaderEnd(std::string_view line);
template std::size_t HeaderEnd(std::u16string_view line);
template class CardLines<char>;
template class CardLines<char16_t>;

}  // namespace quillmere
