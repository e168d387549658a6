// Recognising credentials and personal data in tool output: six fixed patterns, compiled
// once per process and shared by every engine and thread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "sanitizer/compact_token.h"
#include "sanitizer/hyphenated_number.h"
#include "sanitizer/prefixed_run.h"

namespace mobrel {

// True when any of the six patterns occurs somewhere in the bytes. Matching is
// case-sensitive and unanchored; `\d` and `\b` have their Unicode meaning. Bytes that are
// not part of well-formed UTF-8 are read as non-word, non-digit characters (as a lossy
// decoder's U+FFFD), so one stray byte cannot hide a credential elsewhere in the text.
// Linear in the length of the text; keeps no reference to it.
bool matches_suspicious(std::span<const std::uint8_t> bytes);
bool matches_suspicious(std::string_view text);

// The compiled patterns, in the order they are tried. Each is built by the first call that
// needs it (one thread builds, concurrent callers wait) and never changes afterwards.
const PrefixedRun& api_key_sk();   // "sk-" then [a-zA-Z0-9]{20,}
const PrefixedRun& api_key_aws();  // "AKIA" then [0-9A-Z]{16}
const PrefixedRun& api_key_gh();   // "ghp_" then [a-zA-Z0-9]{36,}
const CompactToken& jwt();         // eyJ[A-Za-z0-9_-]{20,}\.eyJ[A-Za-z0-9_-]*\.[A-Za-z0-9_-]*
const PrefixedRun& long_hex();     // [0-9a-fA-F]{32,}
const HyphenatedNumber& ssn();     // \b\d{3}-\d{2}-\d{4}\b

namespace detail {

// The same answer, pattern by pattern in their order, without either one-pass scan: the
// reference the scans are tested against.
bool matches_suspicious_by_pattern(std::span<const std::uint8_t> bytes);

}  // namespace detail
}  // namespace mobrel
