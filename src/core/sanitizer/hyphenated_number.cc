#include "sanitizer/hyphenated_number.h"

#include <cstring>

#include "sanitizer/unicode_classes.h"

namespace mobrel {
namespace {

// Moves `pos` forward over `count` decimal digits; false when another character comes first.
bool skip_digits_forward(std::span<const std::uint8_t> text, std::size_t& pos, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (pos >= text.size()) return false;
    const detail::DecodedChar c = detail::decode_at(text, pos);
    if (!detail::is_decimal_digit(c.code_point)) return false;
    pos += c.size;
  }
  return true;
}

bool skip_digits_backward(std::span<const std::uint8_t> text, std::size_t& pos, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (pos == 0) return false;
    const detail::DecodedChar c = detail::decode_before(text, pos);
    if (!detail::is_decimal_digit(c.code_point)) return false;
    pos -= c.size;
  }
  return true;
}

}  // namespace

HyphenatedNumber::HyphenatedNumber(std::array<std::size_t, 3> group_sizes)
    : group_sizes_(group_sizes) {}

bool HyphenatedNumber::found_in(std::span<const std::uint8_t> text) const {
  // Every match has a first hyphen, and each is checked in bounded time.
  const std::uint8_t* const begin = text.data();
  const std::uint8_t* const end = begin + text.size();
  for (const std::uint8_t* p = begin; p != end; ++p) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, '-', static_cast<std::size_t>(end - p)));
    if (p == nullptr) return false;
    if (matches_at_hyphen(text, static_cast<std::size_t>(p - begin))) return true;
  }
  return false;
}

bool HyphenatedNumber::matches_at_hyphen(std::span<const std::uint8_t> text,
                                         std::size_t hyphen) const {
  if (hyphen >= text.size() || text[hyphen] != '-') return false;
  std::size_t pos = hyphen;
  if (!skip_digits_backward(text, pos, group_sizes_[0])) return false;
  // Digits are word characters, so a word character before the group also rules out a
  // longer first group.
  if (pos > 0 && detail::is_word_char(detail::decode_before(text, pos).code_point)) return false;

  pos = hyphen + 1;
  if (!skip_digits_forward(text, pos, group_sizes_[1])) return false;
  if (pos >= text.size() || text[pos] != '-') return false;
  ++pos;
  if (!skip_digits_forward(text, pos, group_sizes_[2])) return false;
  return pos == text.size() || !detail::is_word_char(detail::decode_at(text, pos).code_point);
}

}  // namespace mobrel
