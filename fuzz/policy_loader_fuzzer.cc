// Feeds arbitrary bytes to the policy loader. Besides the sanitizers' checks: a failed load
// renders as one Parse(...) text whose every control character is escaped, and a
// successful one yields rules that can be copied and destroyed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mobrel/policy/loader.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void check_error_text(const std::string& text) {
  check(text.starts_with("Parse(Error") && text.ends_with(")"));
  for (char c : text) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  mobrel::LoadResult result = mobrel::parse_policy_yaml(text);
  if (const auto* error = std::get_if<mobrel::LoadError>(&result)) {
    check_error_text(error->to_string());
    return 0;
  }
  const auto& rules = std::get<std::vector<mobrel::PolicyRule>>(result);
  std::vector<mobrel::PolicyRule> copy = rules;
  check(copy.size() == rules.size());
  return 0;
}
