#include "sanitizer/prefixed_run.h"

#include <cstring>

namespace mobrel {

PrefixedRun::PrefixedRun(std::string_view prefix, std::string_view body, std::size_t min_count)
    : prefix_(prefix), body_(body), min_count_(min_count) {}

bool PrefixedRun::prefix_ends_at(std::span<const std::uint8_t> text, std::size_t pos) const {
  if (prefix_.empty()) return true;
  // The last character first: it rules out almost every position at the cost of one load.
  if (pos < prefix_.size() || text[pos - 1] != static_cast<std::uint8_t>(prefix_.back())) {
    return false;
  }
  return std::memcmp(text.data() + (pos - prefix_.size()), prefix_.data(), prefix_.size()) == 0;
}

bool PrefixedRun::found_in(std::span<const std::uint8_t> text) const {
  // A longer body contains one of exactly `min_count_` characters, so a match exists when
  // some run of body characters ending at i is that long and the prefix ends where those
  // last `min_count_` characters begin. The run length is counted without branching on the
  // text; the prefix is compared only at the rare bytes that end a long enough run.
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // All ones or all zeros: a mask rather than a branch that word boundaries would defeat.
    const std::size_t keep = std::size_t{0} - static_cast<std::size_t>(body_.contains(text[i]));
    run = (run + 1) & keep;
    if (run >= min_count_ && prefix_ends_at(text, i + 1 - min_count_)) return true;
  }
  return false;
}

}  // namespace mobrel
