// Internals of the Datalog evaluator: the base facts and the derivation to a fixpoint.
#pragma once

#include <cstddef>
#include <span>

#include "mobrel/policy/datalog.h"

namespace mobrel::detail {

// The name of the variable that always stands for the call being judged.
inline constexpr std::string_view kCallVariable = "A";

std::size_t hash_value(const Value& value);

// "deny" and "escalate" heads decide; every other rule derives facts.
bool is_decision_rule(const DatalogRule& rule);

// The facts drawn from the store, the trace index and the judged call. Every base
// predicate is present, even when it holds no tuple.
FactBase build_base_facts(const DatalogBuiltins& builtins);

// Adds every tuple that the derivation rules yield from `facts`, until no rule yields a
// new one. Decision rules are skipped.
void derive_to_fixpoint(std::span<const DatalogRule> rules, FactBase& facts, EventId call_event);

}  // namespace mobrel::detail
