#include "policy/policy_reader.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "policy/debug_string.h"
#include "policy/yaml_scalar.h"

namespace mobrel::detail {
namespace {

struct Field {
  std::string_view name;
  bool required;
};

// Field order is declaration order, which is also the order missing fields are looked for.
constexpr std::array<Field, 1> kDocFields = {{{"policies", true}}};
constexpr std::array<Field, 8> kRuleFields = {{{"name", true},
                                               {"description", false},
                                               {"when", true},
                                               {"action", true},
                                               {"severity", false},
                                               {"message", false},
                                               {"requires", false},
                                               {"params", false}}};
constexpr std::array<Field, 7> kWhenFields = {{{"tool", false},
                                               {"category", false},
                                               {"traced_to", false},
                                               {"risk", false},
                                               {"agent_id", false},
                                               {"calls_in_window", false},
                                               {"agent_failures_in_window", false}}};
constexpr std::array<Field, 2> kRequiresFields = {
    {{"session_has_input_from", false}, {"approval_from", false}}};
constexpr std::array<Field, 2> kWindowFields = {{{"count", true}, {"window_minutes", true}}};

constexpr std::array<std::pair<std::string_view, PolicyAction>, 3> kActions = {
    {{"deny", PolicyAction::Deny},
     {"escalate", PolicyAction::Escalate},
     {"halt", PolicyAction::Halt}}};

// A key written with no value, or a document holding only its start marker.
bool is_empty_plain(const YamlEvent& node) {
  return node.type == YamlEventType::Scalar && node.style == ScalarStyle::Plain &&
         node.value.empty();
}

std::string backquoted(std::string_view text) { return "`" + std::string(text) + "`"; }

// Record keys are read as text, whatever the scalar looks like.
bool read_key(NodeReader& reader, Cursor& at, const YamlPath& record_path, std::string_view& key) {
  Cursor scratch;
  Cursor* from = nullptr;
  const YamlEvent* node = reader.begin_node(at, scratch, from);
  if (node == nullptr) return false;
  if (node->type != YamlEventType::Scalar)
    return reader.fail_at(*node, record_path, invalid_type(*node, "field identifier"));
  key = node->value;
  return true;
}

template <std::size_t N, typename ReadField>
bool read_record_entries(NodeReader& reader, const YamlEvent& node, Cursor& from,
                         const YamlPath& path, std::string_view expected,
                         const std::array<Field, N>& fields, ReadField& read_field) {
  std::array<bool, N> seen{};
  if (node.type == YamlEventType::MappingStart) {
    if (!reader.enter(node)) return false;
    DepthScope scope(reader);
    while (true) {
      const YamlEvent* event = reader.peek(from);
      if (event == nullptr) return false;
      if (event->type == YamlEventType::MappingEnd) {
        if (reader.next(from) == nullptr) return false;
        break;
      }
      std::string_view key;
      if (!read_key(reader, from, path, key)) return false;
      std::size_t field = 0;
      while (field < N && fields[field].name != key) ++field;
      if (field == N) {
        if (!reader.skip(from)) return false;
        continue;
      }
      if (seen[field]) return reader.fail("duplicate field " + backquoted(fields[field].name));
      seen[field] = true;
      if (!read_field(field, from, path.entry(key))) return false;
    }
  } else if (!is_empty_plain(node)) {
    return reader.fail(invalid_type(node, expected));
  }
  for (std::size_t field = 0; field < N; ++field)
    if (fields[field].required && !seen[field])
      return reader.fail("missing field " + backquoted(fields[field].name));
  return true;
}

// Reads a record (a mapping whose keys name fields); `read_field(field, cursor, path)`
// reads the value of each known field. Faults of the record as a whole (repeated or
// missing fields, and those its fields leave unlocated) are placed at the record.
template <std::size_t N, typename ReadField>
bool read_record(NodeReader& reader, Cursor& at, const YamlPath& path, std::string_view expected,
                 const std::array<Field, N>& fields, ReadField read_field) {
  Cursor scratch;
  Cursor* from = nullptr;
  const YamlEvent* node = reader.begin_node(at, scratch, from);
  if (node == nullptr) return false;
  if (read_record_entries(reader, *node, *from, path, expected, fields, read_field)) return true;
  reader.locate(*node, path);
  return false;
}

// An optional field is absent for a plain untagged null, or a plain `!!null` null; any
// other node is read by `read_present`.
template <typename T, typename ReadPresent>
bool read_optional(NodeReader& reader, Cursor& at, std::optional<T>& out,
                   ReadPresent read_present) {
  Cursor scratch;
  Cursor* from = reader.follow(at, scratch);
  if (from == nullptr) return false;
  const YamlEvent* node = reader.peek(*from);
  if (node == nullptr) return false;
  if (node->type == YamlEventType::Scalar && node->style == ScalarStyle::Plain) {
    if (node->tag == kNullTag) {
      // Left unlocated: it is reported at the record holding the field.
      if (!is_null_text(node->value))
        return reader.fail("invalid value: string " + debug_quote(node->value) + ", expected null");
      return reader.next(*from) != nullptr;
    }
    if (node->tag.empty() && is_null_text(node->value)) return reader.next(*from) != nullptr;
  }
  T value{};
  if (!read_present(*from, value)) return false;
  out = std::move(value);
  return true;
}

template <typename T, typename ReadItem>
bool read_list(NodeReader& reader, Cursor& at, const YamlPath& path, std::vector<T>& out,
               ReadItem read_item) {
  Cursor scratch;
  Cursor* from = nullptr;
  const YamlEvent* node = reader.begin_node(at, scratch, from);
  if (node == nullptr) return false;
  auto read_items = [&]() -> bool {
    if (node->type != YamlEventType::SequenceStart) {
      if (is_empty_plain(*node)) return true;
      return reader.fail(invalid_type(*node, "a sequence"));
    }
    if (!reader.enter(*node)) return false;
    DepthScope scope(reader);
    for (std::size_t index = 0;; ++index) {
      const YamlEvent* event = reader.peek(*from);
      if (event == nullptr) return false;
      if (event->type == YamlEventType::SequenceEnd) return reader.next(*from) != nullptr;
      T item{};
      if (!read_item(*from, path.item(index), item)) return false;
      out.push_back(std::move(item));
    }
  };
  if (read_items()) return true;
  reader.locate(*node, path);
  return false;
}

bool read_text(NodeReader& reader, Cursor& at, const YamlPath& path, std::string& out) {
  Cursor scratch;
  Cursor* from = nullptr;
  const YamlEvent* node = reader.begin_node(at, scratch, from);
  if (node == nullptr) return false;
  if (node->type != YamlEventType::Scalar)
    return reader.fail_at(*node, path, invalid_type(*node, "a string"));
  out = node->value;
  return true;
}

bool read_optional_text(NodeReader& reader, Cursor& at, const YamlPath& path,
                        std::optional<std::string>& out) {
  return read_optional(reader, at, out, [&](Cursor& from, std::string& text) {
    return read_text(reader, from, path, text);
  });
}

bool read_u32(NodeReader& reader, Cursor& at, const YamlPath& path, std::uint32_t& out) {
  Cursor scratch;
  Cursor* from = nullptr;
  const YamlEvent* node = reader.begin_node(at, scratch, from);
  if (node == nullptr) return false;
  bool readable = node->type == YamlEventType::Scalar &&
                  (node->style == ScalarStyle::Plain ||
                   (node->style == ScalarStyle::Literal && node->tag == kIntTag));
  std::optional<std::uint64_t> number;
  if (readable) number = parse_unsigned(node->value);
  if (!number) return reader.fail_at(*node, path, invalid_type(*node, "u32"));
  if (*number > std::numeric_limits<std::uint32_t>::max())
    return reader.fail_at(
        *node, path,
        "invalid value: integer " + backquoted(std::to_string(*number)) + ", expected u32");
  out = static_cast<std::uint32_t>(*number);
  return true;
}

bool read_window(NodeReader& reader, Cursor& at, const YamlPath& path, WindowCount& out) {
  return read_record(reader, at, path, "struct WindowCount", kWindowFields,
                     [&](std::size_t field, Cursor& from, const YamlPath& field_path) {
                       return read_u32(reader, from, field_path,
                                       field == 0 ? out.count : out.window_minutes);
                     });
}

// One text, or a sequence of texts, as the scalar typing sees them: a plain 5 or true is
// no text here. The whole node is read first, so faults within it come before this one.
bool read_risk(NodeReader& reader, Cursor& at, const YamlPath& path, RiskCondition& out) {
  YamlValue value;
  if (!reader.read_value(at, path, /*strict=*/false, value)) return false;
  if (value.kind == YamlValue::Kind::String) {
    out.names = std::move(value.text);
    return true;
  }
  if (value.kind == YamlValue::Kind::Sequence) {
    RiskCondition::List names;
    for (YamlValue& item : value.items) {
      if (item.kind != YamlValue::Kind::String) break;
      names.push_back(std::move(item.text));
    }
    if (names.size() == value.items.size()) {
      out.names = std::move(names);
      return true;
    }
  }
  // Left unlocated: it is reported at the `when` mapping.
  return reader.fail("data did not match any variant of untagged enum RiskCondition");
}

bool read_when(NodeReader& reader, Cursor& at, const YamlPath& path, WhenConditions& out) {
  return read_record(
      reader, at, path, "struct WhenConditions", kWhenFields,
      [&](std::size_t field, Cursor& from, const YamlPath& field_path) {
        switch (field) {
          case 0:
            return read_optional_text(reader, from, field_path, out.tool);
          case 1:
            return read_optional_text(reader, from, field_path, out.category);
          case 2:
            return read_optional_text(reader, from, field_path, out.traced_to);
          case 3:
            return read_optional(reader, from, out.risk, [&](Cursor& c, RiskCondition& risk) {
              return read_risk(reader, c, field_path, risk);
            });
          case 4:
            return read_optional_text(reader, from, field_path, out.agent_id);
          default: {
            auto& window = field == 5 ? out.calls_in_window : out.agent_failures_in_window;
            return read_optional(reader, from, window, [&](Cursor& c, WindowCount& count) {
              return read_window(reader, c, field_path, count);
            });
          }
        }
      });
}

bool read_requires(NodeReader& reader, Cursor& at, const YamlPath& path, RequiresConditions& out) {
  return read_record(
      reader, at, path, "struct RequiresConditions", kRequiresFields,
      [&](std::size_t field, Cursor& from, const YamlPath& field_path) {
        if (field == 1) return read_optional_text(reader, from, field_path, out.approval_from);
        return read_optional(
            reader, from, out.session_has_input_from,
            [&](Cursor& c, std::vector<std::string>& names) {
              return read_list(reader, c, field_path, names,
                               [&](Cursor& item_at, const YamlPath& item_path, std::string& name) {
                                 return read_text(reader, item_at, item_path, name);
                               });
            });
      });
}

std::optional<PolicyAction> action_named(std::string_view name) {
  for (const auto& [spelling, action] : kActions)
    if (spelling == name) return action;
  return std::nullopt;
}

bool unknown_action(NodeReader& reader, std::string_view name) {
  std::string expected;
  for (const auto& [spelling, action] : kActions)
    expected += (expected.empty() ? "one of " : ", ") + backquoted(spelling);
  return reader.fail("unknown variant " + backquoted(name) + ", expected " + expected);
}

// The action is a scalar's text, or the name of a local tag on a node that holds nothing.
bool read_action_node(NodeReader& reader, const YamlEvent& node, PolicyAction& out) {
  if (is_local_tag(node.tag)) {
    std::string_view name = std::string_view(node.tag).substr(1);
    std::optional<PolicyAction> action = action_named(name);
    if (!action) return unknown_action(reader, name);
    if (node.type != YamlEventType::Scalar) return reader.fail(invalid_type(node, "unit"));
    if (node.style != ScalarStyle::Plain || !is_null_text(node.value))
      return reader.fail("invalid value: string " + debug_quote(node.value) + ", expected null");
    out = *action;
    return true;
  }
  if (node.type != YamlEventType::Scalar)
    return reader.fail(invalid_type(node, "a YAML tag starting with '!'"));
  std::optional<PolicyAction> action = action_named(node.value);
  if (!action) return unknown_action(reader, node.value);
  out = *action;
  return true;
}

bool read_action(NodeReader& reader, Cursor& at, const YamlPath& path, PolicyAction& out) {
  Cursor scratch;
  Cursor* from = nullptr;
  const YamlEvent* node = reader.begin_node(at, scratch, from);
  if (node == nullptr) return false;
  if (read_action_node(reader, *node, out)) return true;
  reader.locate(*node, path);
  return false;
}

bool read_rule(NodeReader& reader, Cursor& at, const YamlPath& path, PolicyRule& out) {
  return read_record(
      reader, at, path, "struct PolicyRule", kRuleFields,
      [&](std::size_t field, Cursor& from, const YamlPath& field_path) {
        switch (field) {
          case 0:
            return read_text(reader, from, field_path, out.name);
          case 1:
            return read_optional_text(reader, from, field_path, out.description);
          case 2:
            return read_when(reader, from, field_path, out.when);
          case 3:
            return read_action(reader, from, field_path, out.action);
          case 4:
            return read_optional_text(reader, from, field_path, out.severity);
          case 5:
            return read_optional_text(reader, from, field_path, out.message);
          case 6:
            return read_optional(reader, from, out.requires_,
                                 [&](Cursor& c, RequiresConditions& requires_conditions) {
                                   return read_requires(reader, c, field_path, requires_conditions);
                                 });
          default:
            return read_optional(reader, from, out.params, [&](Cursor& c, YamlValue& params) {
              return reader.read_value(c, field_path, /*strict=*/true, params);
            });
        }
      });
}

}  // namespace

bool read_policy_document(NodeReader& reader, std::vector<PolicyRule>& rules) {
  Cursor root;
  const YamlPath path = YamlPath::root();
  return read_record(reader, root, path, "struct PolicyDoc", kDocFields,
                     [&](std::size_t, Cursor& from, const YamlPath& field_path) {
                       return read_list(
                           reader, from, field_path, rules,
                           [&](Cursor& item_at, const YamlPath& item_path, PolicyRule& rule) {
                             return read_rule(reader, item_at, item_path, rule);
                           });
                     });
}

}  // namespace mobrel::detail
