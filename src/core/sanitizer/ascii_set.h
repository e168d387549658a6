// A set of ASCII characters, the building block of the suspicious-content patterns.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace mobrel {

class AsciiSet {
 public:
  // `members` is written like the inside of a bracket expression: single characters and
  // ranges such as "a-zA-Z0-9"; a hyphen that cannot close a range ("_-") stands for itself.
  // Ranges are code-point ranges, so every member is an ASCII character.
  explicit AsciiSet(std::string_view members);

  // One entry per byte value, so that testing a byte is a single load.
  bool contains(std::uint8_t byte) const { return table_[byte]; }

 private:
  std::array<bool, 256> table_{};
};

}  // namespace mobrel
