#include "sanitizer/compact_token.h"

#include <array>
#include <cstring>

namespace mobrel {

CompactToken::CompactToken(std::string_view marker, std::string_view body, std::size_t min_first)
    : marker_(marker.substr(0, 4)), body_(body), min_first_(min_first) {
  std::array<std::uint8_t, 4> bytes{};
  std::array<std::uint8_t, 4> mask{};
  for (std::size_t i = 0; i < marker_.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(marker_[i]);
    mask[i] = 0xFF;
  }
  std::memcpy(&marker_word_, bytes.data(), 4);
  std::memcpy(&marker_mask_, mask.data(), 4);
}

bool CompactToken::marker_at(std::span<const std::uint8_t> text, std::size_t pos) const {
  // One masked word compare where four bytes remain, so the test costs no branch on the text.
  if (text.size() - pos >= 4) {
    std::uint32_t word;
    std::memcpy(&word, text.data() + pos, 4);
    return (word & marker_mask_) == marker_word_;
  }
  return text.size() - pos >= marker_.size() &&
         std::memcmp(text.data() + pos, marker_.data(), marker_.size()) == 0;
}

bool CompactToken::found_in(std::span<const std::uint8_t> text) const {
  // Segments cannot stop inside a run of body characters, since a full stop, which is not
  // one, must follow them: a first segment is the end of a run that reaches a full stop,
  // from the run's earliest marker on; a second segment is the whole run after it.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t run_start = 0;         // first byte of the current run
  std::size_t first_marker = kNone;  // earliest marker in the current run
  std::size_t second_start = kNone;  // just after a full stop that closed a first segment
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '.') {  // the run [run_start, i) ends here
      if (run_start == second_start && i - run_start >= marker_.size() &&
          marker_at(text, run_start)) {
        return true;
      }
      second_start =
          first_marker != kNone && i - first_marker - marker_.size() >= min_first_ ? i + 1 : kNone;
    }
    const bool in_body = body_.contains(text[i]);
    const bool new_marker = first_marker == kNone && marker_at(text, i);
    first_marker = !in_body ? kNone : new_marker ? i : first_marker;
    run_start = in_body ? run_start : i + 1;
  }
  return false;
}

}  // namespace mobrel
