#include "sanitizer/prefixed_run.h"

#include <algorithm>
#include <optional>

namespace mobrel {

PrefixedRun::PrefixedRun(std::string_view prefix, std::string_view body, std::size_t min_count)
    : prefix_(prefix), body_(body), min_count_(min_count) {}

bool PrefixedRun::prefix_ends_at(std::span<const std::uint8_t> text, std::size_t pos) const {
  if (pos < prefix_.size()) return false;
  return std::equal(prefix_.begin(), prefix_.end(), text.begin() + (pos - prefix_.size()),
                    [](char p, std::uint8_t b) { return static_cast<std::uint8_t>(p) == b; });
}

bool PrefixedRun::found_in(std::span<const std::uint8_t> text) const {
  // The earliest place in the current run of body characters where a prefix ended: the
  // longest candidate body, so no later prefix in the same run needs to be remembered.
  std::optional<std::size_t> body_start;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!body_start && prefix_ends_at(text, i)) body_start = i;
    if (!body_.contains(text[i])) {
      body_start.reset();
    } else if (body_start && i + 1 - *body_start >= min_count_) {
      return true;
    }
  }
  return false;
}

}  // namespace mobrel
