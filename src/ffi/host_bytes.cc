#include "ffi/host_bytes.h"

namespace mobrel::ffi {

bool is_valid_utf8(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    const std::uint8_t lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    std::uint8_t low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // no overlong forms
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (n - i < length || bytes[i + 1] < low || bytes[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k)
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

std::optional<std::string> decode_text(const std::uint8_t* ptr, std::size_t len) {
  if (ptr == nullptr || len > kMaxBytes) return std::nullopt;
  std::span<const std::uint8_t> bytes = bytes_of(ptr, len);
  if (!is_valid_utf8(bytes)) return std::nullopt;
  return std::string(bytes.begin(), bytes.end());
}

std::string decode_text_or_empty(const std::uint8_t* ptr, std::size_t len) {
  return decode_text(ptr, len).value_or(std::string());
}

}  // namespace mobrel::ffi
