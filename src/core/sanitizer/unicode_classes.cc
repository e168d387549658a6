#include "sanitizer/unicode_classes.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace mobrel::detail {
namespace {

bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

bool is_ascii_word(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

}  // namespace

DecodedChar decode_at(std::span<const std::uint8_t> text, std::size_t pos) {
  const std::uint8_t* start = text.data() + pos;
  // A window of at most four bytes keeps ICU's 32-bit offsets small whatever the text size.
  const auto length = static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - pos));
  std::int32_t offset = 0;
  UChar32 c = 0;
  U8_NEXT(start, offset, length, c);
  // One replacement per byte: how an ill-formed sequence is cut up into replacements cannot
  // change a match, as every replacement is a non-word, non-digit character.
  if (c < 0) return {kReplacementChar, 1};
  return {static_cast<char32_t>(c), static_cast<std::size_t>(offset)};
}

DecodedChar decode_before(std::span<const std::uint8_t> text, std::size_t end) {
  // Forward decoding starts a new character at every byte that is not a continuation byte,
  // so the nearest such byte is the only place where a character ending at `end` can start.
  for (std::size_t size = 1; size <= 4 && size <= end; ++size) {
    if (is_continuation(text[end - size])) continue;
    const DecodedChar c = decode_at(text.first(end), end - size);
    if (c.size == size) return c;
    break;
  }
  return {kReplacementChar, 1};
}

bool is_decimal_digit(char32_t c) {
  if (c < 0x80) return c >= '0' && c <= '9';
  return u_charType(static_cast<UChar32>(c)) == U_DECIMAL_DIGIT_NUMBER;
}

bool is_word_char(char32_t c) {
  if (c < 0x80) return is_ascii_word(c);
  const auto u = static_cast<UChar32>(c);
  if (u_hasBinaryProperty(u, UCHAR_ALPHABETIC) || u_hasBinaryProperty(u, UCHAR_JOIN_CONTROL)) {
    return true;
  }
  return (U_GET_GC_MASK(u) & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)) != 0;
}

}  // namespace mobrel::detail
