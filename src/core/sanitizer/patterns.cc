#include "sanitizer/patterns.h"

#include "sanitizer/fused_scan.h"
#include "sanitizer/portable_scan.h"

namespace mobrel {

// Function-local statics: built on first use, under the language's thread-safe one-time
// initialisation, each independently of the others.

const PrefixedRun& api_key_sk() {
  static const PrefixedRun pattern("sk-", "a-zA-Z0-9", 20);
  return pattern;
}

const PrefixedRun& api_key_aws() {
  static const PrefixedRun pattern("AKIA", "0-9A-Z", 16);
  return pattern;
}

const PrefixedRun& api_key_gh() {
  static const PrefixedRun pattern("ghp_", "a-zA-Z0-9", 36);
  return pattern;
}

const CompactToken& jwt() {
  static const CompactToken pattern("eyJ", "A-Za-z0-9_-", 20);
  return pattern;
}

const PrefixedRun& long_hex() {
  static const PrefixedRun pattern("", "0-9a-fA-F", 32);
  return pattern;
}

const HyphenatedNumber& ssn() {
  static const HyphenatedNumber pattern({3, 2, 4});
  return pattern;
}

bool matches_suspicious(std::span<const std::uint8_t> bytes) {
  // Both one-pass scans carry the five ASCII patterns in their own tables and ask the ssn
  // pattern about hyphenated numbers. The slots are filled all the same, in table order, so
  // that the process holds the same patterns on every path.
  api_key_sk();
  api_key_aws();
  api_key_gh();
  jwt();
  long_hex();
  if (detail::fused_scan_supported()) return detail::fused_scan(bytes, ssn());
  return detail::portable_scan(bytes, ssn());
}

bool matches_suspicious(std::string_view text) {
  return matches_suspicious(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

namespace detail {

bool matches_suspicious_by_pattern(std::span<const std::uint8_t> bytes) {
  return api_key_sk().found_in(bytes) || api_key_aws().found_in(bytes) ||
         api_key_gh().found_in(bytes) || jwt().found_in(bytes) || long_hex().found_in(bytes) ||
         ssn().found_in(bytes);
}

}  // namespace detail
}  // namespace mobrel
