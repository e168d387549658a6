// Groups of decimal digits joined by hyphens and standing as a word of their own, the way a
// US social security number is written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace mobrel {

class HyphenatedNumber {
 public:
  // Three groups of the given sizes, left to right, as in `\b\d{3}-\d{2}-\d{4}\b`: digits
  // of any script (general category Nd), ASCII hyphens, and a non-word character or the
  // edge of the text on either side. Bytes outside well-formed UTF-8 count as non-word,
  // non-digit characters.
  explicit HyphenatedNumber(std::array<std::size_t, 3> group_sizes);

  // True when a match occurs anywhere in the bytes; linear in their length.
  bool found_in(std::span<const std::uint8_t> text) const;

  // True when a match has its first hyphen at byte `hyphen`. Looks at a bounded number of
  // characters around it.
  bool matches_at_hyphen(std::span<const std::uint8_t> text, std::size_t hyphen) const;

 private:
  std::array<std::size_t, 3> group_sizes_;
};

}  // namespace mobrel
