#include "sanitizer/unicode_classes.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <cstdint>
#include <random>
#include <vector>

namespace mobrel::detail {
namespace {

// The ASCII shortcuts against the Unicode definitions they stand for.
TEST(UnicodeClasses, AsciiAgreesWithTheUnicodeProperties) {
  for (char32_t c = 0; c < 0x80; ++c) {
    const auto u = static_cast<UChar32>(c);
    const bool word = u_hasBinaryProperty(u, UCHAR_ALPHABETIC) ||
                      u_hasBinaryProperty(u, UCHAR_JOIN_CONTROL) ||
                      (U_GET_GC_MASK(u) & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)) != 0;
    EXPECT_EQ(is_word_char(c), word) << static_cast<int>(c);
    EXPECT_EQ(is_decimal_digit(c), u_charType(u) == U_DECIMAL_DIGIT_NUMBER) << static_cast<int>(c);
  }
}

TEST(UnicodeClasses, WordCharactersAndDigitsBeyondAscii) {
  struct Row {
    char32_t c;
    bool word;
    bool digit;
  };
  const Row rows[] = {
      {0x00E9, true, false},   // é, a letter
      {0x4E2D, true, false},   // 中, an ideograph (Alphabetic)
      {0x0301, true, false},   // combining acute accent (Mn)
      {0x0903, true, false},   // Devanagari visarga (Mc)
      {0x20DD, true, false},   // combining enclosing circle (Me)
      {0x200C, true, false},   // zero width non-joiner (Join_Control)
      {0x200D, true, false},   // zero width joiner
      {0x203F, true, false},   // undertie (Pc)
      {0x0661, true, true},    // Arabic-Indic one
      {0xFF19, true, true},    // full-width nine
      {0x1D7CE, true, true},   // mathematical bold zero
      {0x00B2, false, false},  // superscript two (No)
      {0x2162, true, false},   // Roman numeral three: Nl, but Alphabetic
      {0x00A0, false, false},  // no-break space
      {0x2014, false, false},  // em dash
      {0xFFFD, false, false},  // what an ill-formed byte becomes
  };
  for (const Row& row : rows) {
    EXPECT_EQ(is_word_char(row.c), row.word) << std::hex << static_cast<std::uint32_t>(row.c);
    EXPECT_EQ(is_decimal_digit(row.c), row.digit) << std::hex << static_cast<std::uint32_t>(row.c);
  }
}

TEST(Utf8Decoding, IllFormedBytesBecomeOneReplacementEach) {
  const std::vector<std::uint8_t> text = {
      0xC0, 0xB1,              // overlong '1'
      0xED, 0xA0, 0x80,        // encoded surrogate
      0xF4, 0x90, 0x80, 0x80,  // above U+10FFFF
      0xE2, 0x82,              // truncated
      0xFF,
  };
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const DecodedChar c = decode_at(text, pos);
    EXPECT_EQ(c.code_point, kReplacementChar) << pos;
    EXPECT_EQ(c.size, 1u) << pos;
  }
}

// Backward decoding must cut the text exactly where forward decoding does, well-formed or
// not, since the hyphenated-number check walks backwards from a hyphen.
TEST(Utf8Decoding, BackwardDecodingRetracesForwardDecoding) {
  std::mt19937 rng(7);
  const std::vector<std::uint8_t> interesting = {0x31, 0x2D, 0x80, 0x9F, 0xA0, 0xA5, 0xBF,
                                                 0xC0, 0xC3, 0xD9, 0xE0, 0xED, 0xEF, 0xF0,
                                                 0xF4, 0xF5, 0xFF, 0xA9, 0x91, 0xBC};
  std::uniform_int_distribution<std::size_t> pick(0, interesting.size() - 1);
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::uint8_t> text(rng() % 12);
    for (std::uint8_t& b : text) b = interesting[pick(rng)];
    std::vector<DecodedChar> forward;
    for (std::size_t pos = 0; pos < text.size();) {
      forward.push_back(decode_at(text, pos));
      pos += forward.back().size;
    }
    std::size_t end = text.size();
    for (auto it = forward.rbegin(); it != forward.rend(); ++it) {
      const DecodedChar back = decode_before(text, end);
      ASSERT_EQ(back.code_point, it->code_point) << "round " << round << " end " << end;
      ASSERT_EQ(back.size, it->size) << "round " << round << " end " << end;
      end -= back.size;
    }
  }
}

}  // namespace
}  // namespace mobrel::detail
