// Judging one proposed tool call: registration, policy rules, Datalog rules, else allow.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mobrel/graph/event_store.h"
#include "mobrel/policy/datalog.h"
#include "mobrel/policy/registry.h"
#include "mobrel/policy/types.h"
#include "mobrel/trace/trace_index.h"

namespace mobrel {

struct PolicyVerdict {
  Outcome outcome = Outcome::Allow;
  std::optional<std::string> rule_id;
  std::string reason;
};

inline constexpr std::string_view kUnregisteredToolRuleId = "mobrel.builtin.unregistered-tool";

// Reads the wall clock once, through the store's clock, for the rate windows.
// `datalog_rules` is null when the engine holds none.
PolicyVerdict evaluate(std::span<const PolicyRule> rules, EventId call_event,
                       std::string_view tool, const EventStore& store, const TraceIndex& trace,
                       const ToolRegistry& registry, std::span<const EventId> session,
                       const std::vector<DatalogRule>* datalog_rules,
                       std::optional<std::string_view> params);

// The call's parameters as (name, text) pairs for Datalog: members of a JSON object in
// ascending name order whose values are booleans, numbers or strings.
std::vector<std::pair<std::string, std::string>> datalog_param_pairs(
    std::optional<std::string_view> params);

}  // namespace mobrel
