// The compact form of a signed token: header and payload segments that both start with the
// same marker, joined by full stops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sanitizer/ascii_set.h"

namespace mobrel {

class CompactToken {
 public:
  // Matches marker, at least `min_first` body characters, '.', marker, any body characters,
  // '.', any body characters. `marker` has 1 to 4 characters, all in `body`; `body` is as
  // in AsciiSet and does not hold '.'. The trailing segment may be empty, so a match is
  // certain once the second full stop is seen.
  CompactToken(std::string_view marker, std::string_view body, std::size_t min_first);

  // True when a match occurs anywhere in the bytes; linear in their length.
  bool found_in(std::span<const std::uint8_t> text) const;

 private:
  bool marker_at(std::span<const std::uint8_t> text, std::size_t pos) const;

  std::string marker_;
  std::uint32_t marker_word_ = 0;  // the marker's bytes as loaded from memory, zero-padded
  std::uint32_t marker_mask_ = 0;  // 0xFF where marker_word_ holds a marker byte
  AsciiSet body_;
  std::size_t min_first_;
};

}  // namespace mobrel
