// Characters of possibly ill-formed UTF-8 and the Unicode classes the patterns use: decimal
// digits (`\d`) and word characters (`\b`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mobrel::detail {

// What a lossy decoder would deliver: a byte that is not part of a well-formed sequence
// becomes U+FFFD, a character that is neither a word character nor a digit.
inline constexpr char32_t kReplacementChar = 0xFFFD;

struct DecodedChar {
  char32_t code_point;
  std::size_t size;  // bytes taken from the text, 1 to 4
};

// The character that starts at `pos` (< text.size()).
DecodedChar decode_at(std::span<const std::uint8_t> text, std::size_t pos);

// The character that ends just before `end` (0 < end <= text.size()), as forward decoding
// from the start of the text would see it.
DecodedChar decode_before(std::span<const std::uint8_t> text, std::size_t end);

// General category Nd, in any script.
bool is_decimal_digit(char32_t c);

// Alphabetic, a mark (Mn, Mc, Me), a decimal digit (Nd), connector punctuation (Pc) or a
// join control.
bool is_word_char(char32_t c);

}  // namespace mobrel::detail
