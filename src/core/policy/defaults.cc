#include "mobrel/policy/defaults.h"

#include <array>
#include <iterator>
#include <string_view>
#include <variant>

#include "mobrel/policy/loader.h"

namespace mobrel {
namespace {

// The built-in rules, one policy document each, in the order the engine tries them.
constexpr std::array<std::string_view, 6> kDefaultPolicies = {
    R"yaml(
policies:
  - name: mobrel.default.external-trace-containment
    when:
      category: network_outbound
      traced_to: external
    action: deny
    severity: critical
    message: "Outbound network action blocked: data traces to external source"
)yaml",
    R"yaml(
policies:
  - name: mobrel.default.local-sensitive-containment
    when:
      category: network_outbound
      traced_to: local_sensitive
    action: deny
    severity: critical
    message: "Outbound network action blocked: data traces to local sensitive source"
)yaml",
    R"yaml(
policies:
  - name: mobrel.default.credential-exposure-block
    when:
      category: network_outbound
      traced_to: injected
    action: deny
    severity: critical
    message: "Outbound action blocked: data contains detected credentials"
)yaml",
    R"yaml(
policies:
  - name: mobrel.default.tainted-data-block
    when:
      traced_to: injected
    action: deny
    severity: critical
    message: "Action blocked: data contains detected sensitive content (credentials, PII)"
)yaml",
    R"yaml(
policies:
  - name: mobrel.default.high-risk-gating
    when:
      risk: [high, critical]
    requires:
      session_has_input_from: [user, operator]
    action: deny
    severity: high
    message: "High-risk tool requires recorded user input in session"
)yaml",
    R"yaml(
policies:
  - name: mobrel.default.rate-limit
    when:
      calls_in_window:
        count: 30
        window_minutes: 1
    action: deny
    severity: medium
    message: "Tool call rate limit exceeded (30/min)"
)yaml",
};

}  // namespace

std::vector<PolicyRule> default_rules() {
  std::vector<PolicyRule> rules;
  for (std::string_view text : kDefaultPolicies) {
    // A text that failed to load would add no rule; the others would still be added.
    LoadResult result = parse_policy_yaml(text);
    if (auto* loaded = std::get_if<std::vector<PolicyRule>>(&result))
      rules.insert(rules.end(), std::make_move_iterator(loaded->begin()),
                   std::make_move_iterator(loaded->end()));
  }
  return rules;
}

}  // namespace mobrel
