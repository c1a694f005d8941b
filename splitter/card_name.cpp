#include "card_name.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "card_lines.h"
#include "card_text.h"
#include "code_units.h"
#include "safe_stem.h"
#include "value_decoding.h"

namespace quillmere {
namespace {

// The text a property's value gives for the card's name, in place.
void NameText(Prop prop, std::u32string& text) {
  switch (prop) {
    case kFn:
    case kEmail:
      UnescapeWhole(text);
      return;
    case kTel:
      UnescapeWhole(text);
      // A vCard 4.0 number is often a tel: URI.
      if (text.size() > 4 && AsciiUpper(text[0]) == 'T' && AsciiUpper(text[1]) == 'E' &&
          AsciiUpper(text[2]) == 'L' && text[3] == ':') {
        text.erase(0, 4);
      }
      return;
    case kOrg:
      text = Unescape(text, true).front();
      return;
    case kN: {
      auto parts = Unescape(text, true);
      parts.resize(std::max<std::size_t>(parts.size(), 3));
      std::u32string name;
      for (const auto* part : {&parts[1], &parts[2], &parts[0]}) {
        if (part->empty()) continue;
        if (!name.empty()) name += ' ';
        name += *part;
      }
      text = std::move(name);
      return;
    }
    default:
      text.clear();
  }
}

// The stem one whole logical line gives, or nothing: its value decoded,
// the property's part of it, made safe.
template <class Unit>
void StemOf(Prop prop, std::basic_string_view<Unit> line, std::u32string& text) {
  text.clear();
  const std::size_t colon = HeaderEnd(line);
  if (colon == line.npos) return;
  DecodeValue(ParamsOf(line.substr(0, colon)), line.substr(colon + 1), text);
  NameText(prop, text);
  MakeSafe(text);
}

// A card's name from its lines in one unit size: FN's stem as soon as its
// line is whole; otherwise, at the card's end, the first of the other
// naming lines that gives one.
template <class Unit>
class NameFinder {
 public:
  void Feed(const Unit* p, std::size_t n) { lines_.Feed(p, n); }

  const std::u32string& Finish() {
    lines_.Finish();
    for (std::size_t prop = kN; prop < kPropCount && !named_; ++prop) {
      if (!have_[prop]) continue;
      StemOf(static_cast<Prop>(prop), std::basic_string_view<Unit>(found_[prop]), result_);
      named_ = !result_.empty();
    }
    if (!named_) result_.clear();
    return result_;
  }

  // FN's stem once its whole line has been read, else nothing.
  const std::u32string* NameSoFar() const { return named_ ? &result_ : nullptr; }

  void Reset() {
    lines_.Reset();
    have_ = {};
    for (auto& found : found_) found.clear();
    result_.clear();
    named_ = false;
  }

 private:
  static bool Taken(void* context, Prop prop, std::basic_string_view<Unit> line) {
    auto& self = *static_cast<NameFinder*>(context);
    self.have_[prop] = true;
    if (prop != kFn) {
      self.found_[prop].assign(line);
      return false;
    }
    StemOf(prop, line, self.result_);
    self.named_ = !self.result_.empty();
    return self.named_;
  }

  CardLines<Unit> lines_{&NameFinder::Taken, this};
  std::array<bool, kPropCount> have_{};
  std::array<std::basic_string<Unit>, kPropCount> found_;
  std::u32string result_;
  bool named_ = false;
};

}  // namespace

class CardNameReader::Impl {
 public:
  void Feed(std::span<const std::byte> bytes) {
    if (units_ == Units::Undecided) {
      const std::size_t take = std::min(bytes.size(), 3 - head_.size());
      head_.insert(head_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
      bytes = bytes.subspan(take);
      if (head_.size() < 3) return;
      Decide();
    }
    FeedDecided(bytes);
  }

  const std::u32string& Finish() {
    if (units_ == Units::Undecided) Decide();
    return units_ == Units::Bytes ? bytes_.Finish() : wide_.Finish();
  }

  const std::u32string* NameSoFar() const {
    if (units_ == Units::Undecided) return nullptr;
    return units_ == Units::Bytes ? bytes_.NameSoFar() : wide_.NameSoFar();
  }

  void Reset() {
    units_ = Units::Undecided;
    head_.clear();
    hasOdd_ = false;
    bytes_.Reset();
    wide_.Reset();
  }

 private:
  enum class Units { Undecided, Bytes, Utf16Le, Utf16Be };

  // The mark, or the way the card's leading CR LF is written.
  void Decide() {
    const auto at = [&](std::size_t i) { return i < head_.size() ? std::to_integer<int>(head_[i]) : -1; };
    std::size_t skip = 0;
    units_ = Units::Bytes;
    if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
      skip = 3;
    } else if (at(0) == 0xFF && at(1) == 0xFE) {
      units_ = Units::Utf16Le, skip = 2;
    } else if (at(0) == 0xFE && at(1) == 0xFF) {
      units_ = Units::Utf16Be, skip = 2;
    } else if (at(0) == 0x0D && at(1) == 0x00) {
      units_ = Units::Utf16Le;
    } else if (at(0) == 0x00 && at(1) == 0x0D) {
      units_ = Units::Utf16Be;
    }
    std::vector<std::byte> head = std::move(head_);
    head_.clear();
    FeedDecided(std::span<const std::byte>(head).subspan(std::min(skip, head.size())));
  }

  void FeedDecided(std::span<const std::byte> bytes) {
    if (units_ == Units::Bytes) {
      bytes_.Feed(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    } else if (units_ == Units::Utf16Be) {
      FeedUnits<true>(bytes);
    } else {
      FeedUnits<false>(bytes);
    }
  }

  // A unit split between two pieces waits for its second byte.
  template <bool kBigEndian>
  void FeedUnits(std::span<const std::byte> bytes) {
    wideBuffer_.clear();
    std::size_t i = 0;
    if (hasOdd_ && !bytes.empty()) {
      const std::byte unit[2] = {odd_, bytes[0]};
      wideBuffer_ += static_cast<char16_t>(UnitAt<2, kBigEndian>(unit));
      hasOdd_ = false;
      i = 1;
    }
    for (; i + 1 < bytes.size(); i += 2)
      wideBuffer_ += static_cast<char16_t>(UnitAt<2, kBigEndian>(&bytes[i]));
    if (i < bytes.size()) {
      odd_ = bytes[i];
      hasOdd_ = true;
    }
    wide_.Feed(wideBuffer_.data(), wideBuffer_.size());
  }

  Units units_ = Units::Undecided;
  std::vector<std::byte> head_;
  std::byte odd_{};
  bool hasOdd_ = false;
  std::u16string wideBuffer_;
  NameFinder<char> bytes_;
  NameFinder<char16_t> wide_;
};

CardNameReader::CardNameReader() : impl_(std::make_unique<Impl>()) {}
CardNameReader::~CardNameReader() = default;
void CardNameReader::Feed(std::span<const std::byte> bytes) {
  impl_->Feed(bytes);
}
const std::u32string& CardNameReader::Finish() {
  return impl_->Finish();
}
const std::u32string* CardNameReader::NameSoFar() const {
  return impl_->NameSoFar();
}
void CardNameReader::Reset() {
  impl_->Reset();
}

}  // namespace quillmere
