// Reading the byte ranges the host passes in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mobrel::ffi {

// The largest byte range any export accepts.
inline constexpr std::size_t kMaxBytes = 1048576;
// The most input sources one proposed call may name.
inline constexpr std::size_t kMaxInputSources = 1024;

// A range is well-formed when it is within the limit and NULL only with length 0.
inline bool range_ok(const void* ptr, std::size_t len) {
  return len <= kMaxBytes && (ptr != nullptr || len == 0);
}

// The bytes of a well-formed range; the pointer is not read for length 0.
inline std::span<const std::uint8_t> bytes_of(const std::uint8_t* ptr, std::size_t len) {
  return len == 0 ? std::span<const std::uint8_t>() : std::span(ptr, len);
}

bool is_valid_utf8(std::span<const std::uint8_t> bytes);

// A copy of the bytes as text, or nothing when the pointer is NULL, the length is over
// the limit or the bytes are not UTF-8.
std::optional<std::string> decode_text(const std::uint8_t* ptr, std::size_t len);

// Like decode_text, with the empty text in place of nothing.
std::string decode_text_or_empty(const std::uint8_t* ptr, std::size_t len);

}  // namespace mobrel::ffi
