// One pass over a text for all six suspicious-content patterns, for processors without the
// vectorised scan.
#pragma once

#include <cstdint>
#include <span>

#include "sanitizer/hyphenated_number.h"

namespace mobrel::detail {

// The answer of the six patterns' found_in, or-ed together, in one linear pass. `ssn`
// settles the hyphenated numbers. Runs on any processor, with AVX2 where there is some.
bool portable_scan(std::span<const std::uint8_t> text, const HyphenatedNumber& ssn);

// The same scan with plain 64-bit arithmetic only, whatever the processor has.
bool portable_scan_by_words(std::span<const std::uint8_t> text, const HyphenatedNumber& ssn);

}  // namespace mobrel::detail
