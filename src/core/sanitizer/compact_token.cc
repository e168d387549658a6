#include "sanitizer/compact_token.h"

#include <algorithm>
#include <optional>

namespace mobrel {

CompactToken::CompactToken(std::string_view marker, std::string_view body, std::size_t min_first)
    : marker_(marker), body_(body), min_first_(min_first) {}

bool CompactToken::marker_at(std::span<const std::uint8_t> text, std::size_t pos) const {
  if (text.size() - pos < marker_.size()) return false;
  return std::equal(marker_.begin(), marker_.end(), text.begin() + pos,
                    [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; });
}

bool CompactToken::found_in(std::span<const std::uint8_t> text) const {
  // Walks the maximal runs of body characters. A segment cannot stop inside a run, since it
  // must be followed by '.', which is not a body character; so the first segment is the end
  // of a run that reaches a full stop, and the second is the whole run after it.
  bool after_first_segment = false;  // the run before the current one qualified, then '.'
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = start;
    std::optional<std::size_t> first_marker;
    while (end < text.size() && body_.contains(text[end])) {
      if (!first_marker && marker_at(text, end)) first_marker = end;
      ++end;
    }
    const bool dot_follows = end < text.size() && text[end] == '.';
    if (after_first_segment && dot_follows && first_marker == start) return true;
    after_first_segment =
        dot_follows && first_marker && end - *first_marker - marker_.size() >= min_first_;
    start = end + 1;
  }
  return false;
}

}  // namespace mobrel
