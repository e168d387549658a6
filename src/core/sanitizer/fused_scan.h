// One pass over a text for all six suspicious-content patterns at once, 64 bytes at a time.
#pragma once

#include <cstdint>
#include <span>

#include "sanitizer/hyphenated_number.h"

namespace mobrel::detail {

// True when this processor can run fused_scan (x86-64 with AVX-512 BW and VBMI).
bool fused_scan_supported();

// The answer of the six patterns' found_in, or-ed together, in one linear pass. `ssn`
// settles the hyphenated numbers that touch non-ASCII bytes. Needs fused_scan_supported().
bool fused_scan(std::span<const std::uint8_t> text, const HyphenatedNumber& ssn);

}  // namespace mobrel::detail
