// The policy model: rules as read from YAML policy documents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace mobrel {

enum class PolicyAction : std::uint8_t { Deny = 0, Escalate = 1, Halt = 2 };

// The verdict of a judged call. A rule with action halt yields deny.
enum class Outcome : std::uint8_t { Allow = 0, Deny = 1, Escalate = 2 };

struct WindowCount {
  std::uint32_t count = 0;
  std::uint32_t window_minutes = 0;
};

// Either one risk name or a list of them; told apart by the YAML node's shape.
struct RiskCondition {
  using Single = std::string;
  using List = std::vector<std::string>;
  std::variant<Single, List> names;
};

// A generic YAML value, as held in a rule's `params`.
struct YamlValue {
  enum class Kind : std::uint8_t { Null, Bool, Int, UInt, Float, String, Sequence, Mapping, Tagged };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::int64_t int_value = 0;    // Int: integers that fit in a signed 64-bit value
  std::uint64_t uint_value = 0;  // UInt: larger integers that fit in 64 unsigned bits
  double float_value = 0;        // Float
  std::string text;              // String: the text; Tagged: the tag's name
  // Sequence: the items. Mapping: key, value, key, value, ... in document order.
  // Tagged: exactly one item, the tagged value.
  std::vector<YamlValue> items;
};

struct WhenConditions {
  std::optional<std::string> tool;
  std::optional<std::string> category;
  std::optional<std::string> traced_to;
  std::optional<RiskCondition> risk;
  std::optional<std::string> agent_id;
  std::optional<WindowCount> calls_in_window;
  std::optional<WindowCount> agent_failures_in_window;
};

struct RequiresConditions {
  std::optional<std::vector<std::string>> session_has_input_from;
  std::optional<std::string> approval_from;
};

struct PolicyRule {
  std::string name;
  std::optional<std::string> description;
  WhenConditions when;
  PolicyAction action = PolicyAction::Deny;
  std::optional<std::string> severity;
  std::optional<std::string> message;
  std::optional<RequiresConditions> requires_;  // the YAML key is `requires`
  std::optional<YamlValue> params;
};

}  // namespace mobrel
