#include "mobrel/policy/datalog.h"

#include <functional>
#include <utility>

#include "policy/datalog_detail.h"

namespace mobrel {

namespace {

constexpr std::string_view kFallbackRuleId = "datalog";

std::size_t mix(std::size_t seed, std::size_t value) {
  return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

bool is_call_variable(const Term& term) {
  return term.kind == Term::Kind::Var && term.var == detail::kCallVariable;
}

// The display form of a constant head argument, or nothing for a variable or a missing one.
std::optional<std::string> head_constant(const Atom& head, std::size_t position) {
  if (position >= head.args.size()) return std::nullopt;
  const Term& term = head.args[position];
  if (term.kind != Term::Kind::Const) return std::nullopt;
  return term.value.display();
}

DatalogFinding finding_for(const DatalogRule& rule) {
  DatalogFinding finding;
  finding.outcome = rule.head.predicate == "deny" ? Outcome::Deny : Outcome::Escalate;
  finding.rule_id = head_constant(rule.head, 1).value_or(std::string(kFallbackRuleId));
  std::optional<std::string> reason = head_constant(rule.head, 2);
  finding.reason = reason ? std::move(*reason) : "Rule " + finding.rule_id + " triggered";
  return finding;
}

}  // namespace

Value Value::Text(std::string text) {
  Value value;
  value.kind = Kind::Text;
  value.text = std::move(text);
  return value;
}

Value Value::Id(std::uint64_t id) {
  Value value;
  value.kind = Kind::Id;
  value.id = id;
  return value;
}

std::string Value::display() const { return kind == Kind::Text ? text : std::to_string(id); }

bool Value::operator==(const Value& other) const {
  if (kind != other.kind) return false;
  return kind == Kind::Text ? text == other.text : id == other.id;
}

Term Term::Var(std::string name) {
  Term term;
  term.kind = Kind::Var;
  term.var = std::move(name);
  return term;
}

Term Term::Const(Value value) {
  Term term;
  term.kind = Kind::Const;
  term.value = std::move(value);
  return term;
}

std::size_t FactHash::operator()(const Fact& fact) const {
  std::size_t seed = fact.size();
  for (const Value& value : fact) seed = mix(seed, detail::hash_value(value));
  return seed;
}

namespace detail {

std::size_t hash_value(const Value& value) {
  if (value.kind == Value::Kind::Text) return mix(1, std::hash<std::string>{}(value.text));
  return mix(2, std::hash<std::uint64_t>{}(value.id));
}

bool is_decision_rule(const DatalogRule& rule) {
  return rule.head.predicate == "deny" || rule.head.predicate == "escalate";
}

}  // namespace detail

bool unify_atom(std::span<const Term> args, const Fact& tuple, Bindings& bindings,
                EventId call_event) {
  if (args.size() != tuple.size()) return false;
  const Value call = Value::Id(call_event);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Term& arg = args[i];
    const Value& actual = tuple[i];
    if (arg.kind == Term::Kind::Const) {
      if (!(arg.value == actual)) return false;
      continue;
    }
    if (is_call_variable(arg) && !(actual == call)) return false;
    auto [slot, inserted] = bindings.try_emplace(arg.var, actual);
    if (!inserted && !(slot->second == actual)) return false;
  }
  return true;
}

bool body_matches(std::span<const Atom> atoms, const FactBase& facts, Bindings& bindings,
                  EventId call_event) {
  if (atoms.empty()) return true;
  const Atom& first = atoms.front();
  auto found = facts.find(first.predicate);
  if (found == facts.end() || found->second.empty()) return false;
  for (const Fact& tuple : found->second) {
    if (tuple.size() != first.args.size()) continue;  // cannot unify; spares the copy
    Bindings extended = bindings;
    if (unify_atom(first.args, tuple, extended, call_event) &&
        body_matches(atoms.subspan(1), facts, extended, call_event)) {
      bindings = std::move(extended);
      return true;
    }
  }
  return false;
}

std::optional<DatalogFinding> evaluate_datalog(std::span<const DatalogRule> rules,
                                               const DatalogBuiltins& builtins) {
  bool any_decision = false;
  for (const DatalogRule& rule : rules)
    any_decision = any_decision || detail::is_decision_rule(rule);
  // Derived facts only matter to decision rules; without one there is nothing to find.
  if (!any_decision) return std::nullopt;

  FactBase facts = detail::build_base_facts(builtins);
  detail::derive_to_fixpoint(rules, facts, builtins.call_event);

  for (const DatalogRule& rule : rules) {
    if (!detail::is_decision_rule(rule)) continue;
    Bindings bindings;
    bindings.emplace(std::string(detail::kCallVariable), Value::Id(builtins.call_event));
    if (body_matches(rule.body, facts, bindings, builtins.call_event)) return finding_for(rule);
  }
  return std::nullopt;
}

}  // namespace mobrel
