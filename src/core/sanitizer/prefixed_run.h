// A fixed prefix followed by a run of characters from an ASCII set: the shape of API keys
// and access key IDs (and, with no prefix, of long hexadecimal strings).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sanitizer/ascii_set.h"

namespace mobrel {

class PrefixedRun {
 public:
  // Matches `prefix` literally, then at least `min_count` characters of `body` (members as
  // in AsciiSet). Matches are unanchored, so "exactly n" and "n or more" are the same test.
  PrefixedRun(std::string_view prefix, std::string_view body, std::size_t min_count);

  // True when a match occurs anywhere in the bytes. Linear in their length; bytes outside
  // ASCII are never part of a match, so the text need not be valid UTF-8.
  bool found_in(std::span<const std::uint8_t> text) const;

 private:
  bool prefix_ends_at(std::span<const std::uint8_t> text, std::size_t pos) const;

  std::string prefix_;
  AsciiSet body_;
  std::size_t min_count_;
};

}  // namespace mobrel
