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

  bool contains(std::uint8_t byte) const {
    return byte < 128 && ((bits_[byte >> 6] >> (byte & 63)) & 1) != 0;
  }

 private:
  void add(unsigned char byte) {
    if (byte < 128) bits_[byte >> 6] |= std::uint64_t{1} << (byte & 63);
  }

  std::array<std::uint64_t, 2> bits_{};
};

}  // namespace mobrel
