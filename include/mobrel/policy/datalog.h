// A small Datalog evaluator that judges one proposed call against Horn-clause rules over
// facts drawn from the provenance graph.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "mobrel/graph/event_store.h"
#include "mobrel/policy/types.h"
#include "mobrel/trace/trace_index.h"

namespace mobrel {

// A Datalog value: a text or an id. A Text "7" and the Id 7 are different values.
struct Value {
  enum class Kind : std::uint8_t { Text, Id };
  Kind kind = Kind::Text;
  std::string text;
  std::uint64_t id = 0;

  static Value Text(std::string text);
  static Value Id(std::uint64_t id);
  std::string display() const;  // the text as is, or the id in decimal
  bool operator==(const Value& other) const;
};

struct Term {
  enum class Kind : std::uint8_t { Var, Const };
  Kind kind = Kind::Const;
  std::string var;  // Var: the variable's name
  Value value;      // Const: the value

  static Term Var(std::string name);
  static Term Const(Value value);
};

struct Atom {
  std::string predicate;
  std::vector<Term> args;
};

// A rule whose head predicate is "deny" or "escalate" is a decision rule.
struct DatalogRule {
  Atom head;
  std::vector<Atom> body;
};

using Fact = std::vector<Value>;
struct FactHash {
  std::size_t operator()(const Fact& fact) const;
};
using FactSet = std::unordered_set<Fact, FactHash>;
using FactBase = std::unordered_map<std::string, FactSet>;
using Bindings = std::unordered_map<std::string, Value>;

struct DatalogBuiltins {
  std::vector<std::pair<std::string, std::string>> params;
  std::string_view tool;
  const EventStore& store;
  const TraceIndex& trace;
  EventId call_event = 0;
};

struct DatalogFinding {
  std::string rule_id;
  std::string reason;
  Outcome outcome = Outcome::Deny;
};

std::optional<DatalogFinding> evaluate_datalog(std::span<const DatalogRule> rules,
                                               const DatalogBuiltins& builtins);

bool body_matches(std::span<const Atom> atoms, const FactBase& facts, Bindings& bindings,
                  EventId call_event);

bool unify_atom(std::span<const Term> args, const Fact& tuple, Bindings& bindings,
                EventId call_event);

}  // namespace mobrel
