#include "sanitizer/patterns.h"

#include "sanitizer/fused_scan.h"

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
  if (!detail::fused_scan_supported()) return detail::matches_suspicious_by_pattern(bytes);
  // The one-pass scan carries the five ASCII patterns in its own tables and asks the ssn
  // pattern about numbers written with non-ASCII characters. The slots are filled all the
  // same, in table order, so that the process holds the same patterns on either path.
  api_key_sk();
  api_key_aws();
  api_key_gh();
  jwt();
  long_hex();
  return detail::fused_scan(bytes, ssn());
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
