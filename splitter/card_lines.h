#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmere {

// The properties that can name a card, best first.
enum Prop : std::size_t { kFn, kN, kOrg, kEmail, kTel, kPropCount, kNone = kPropCount };

// Where a property line's name and parameters end: the first colon outside
// double quotes (vCard 4.0 quotes parameter values that hold colons); npos
// when there is none.
template <class Unit>
std::size_t HeaderEnd(std::basic_string_view<Unit> line);

// The card's own lines at its own level, unfolded: reads a written card's
// units (char: bytes; char16_t: UTF-16 units), given in pieces of any size,
// and hands on the first logical line of each naming property, whole,
// as soon as the next line shows it is whole.
//
// - Physical lines end at CR LF, the only line end a written card has.
// - A line that starts with a space or a tab continues the one before it
//   (folding; the blank goes), as does, after a quoted-printable line
//   ending in "=", the next line (a soft break; the "=" goes). A boundary
//   line never continues anything.
// - A BEGIN:VCARD inside the card opens a card nested in it, whose lines
//   are not this card's; END:VCARD closes it.
// - Of each property at the card's own level only its first logical line
//   is handed on, each kept up to kLineCap units: memory stays small
//   whatever the card's size.
template <class Unit>
class CardLines {
 public:
  using View = std::basic_string_view<Unit>;
  // Units kept of a line that may name the card: far more than any name,
  // far less than a photo.
  static constexpr std::size_t kLineCap = std::size_t{16} << 10;
  // Told each naming line; true ends the reading (the card is named).
  using Taken = bool (*)(void* context, Prop prop, View line);

  CardLines(Taken taken, void* context) : taken_(taken), context_(context) {}
  void Feed(const Unit* p, std::size_t n);
  // The card has ended: its last line is handed on too.
  void Finish();
  // Forgets the card; keeps the buffers' memory for the next one.
  void Reset();

 private:
  enum class Continuation { None, Fold, SoftBreak };

  void Hold(const Unit* p, const Unit* end);
  void Line(View text, std::size_t length, Unit last);
  Continuation ContinuationOf(View text, std::size_t length) const;
  void Join(View text, Continuation how);
  bool FollowNesting(View text);
  bool QuotedPrintable(View header) const;
  void Capture(View header, View text);
  void Keep(View text);
  void Close();

  Taken taken_;
  void* context_;
  // Cutting physical lines.
  std::basic_string<Unit> line_;  // start of a physical line split across pieces
  std::size_t held_ = 0;          // its whole length so far
  Unit last_{};                   // its last unit so far
  bool skipLf_ = false;           // a CR ended the last piece
  // Unfolding and soft breaks.
  bool quotedPrintable_ = false;  // the current logical line's value is quoted-printable
  bool softBreak_ = false;        // … and its last physical line ended in "="
  // Nesting.
  std::uint64_t depth_ = 0;
  // Capture.
  Prop current_ = kNone;  // what the logical line being kept names
  std::basic_string<Unit> logical_;
  std::array<bool, kPropCount> have_{};
  bool done_ = false;
};

}  // namespace quillmere
