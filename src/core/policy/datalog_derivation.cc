// Derivation of Datalog facts to a fixpoint.
//
// The fixpoint of positive rules does not depend on how it is reached, so instead of
// re-joining every rule against all facts on every pass, each pass only looks for
// derivations that use at least one tuple that is new since the previous pass (semi-naive
// evaluation), and atoms whose arguments are partly known look their tuples up in a hash
// index instead of scanning the whole set. A transitive closure over a long chain of events
// then costs time in proportion to the derivations it finds, pass after pass, instead of
// re-deriving everything known on every pass.
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "policy/datalog_detail.h"

namespace mobrel::detail {

namespace {

struct ValueHash {
  std::size_t operator()(const Value& value) const { return hash_value(value); }
};

// An argument of a compiled atom. Variables become slots of a row; the call variable
// keeps its slot but can only ever hold the judged call's id.
struct Arg {
  enum class Kind : std::uint8_t { Const, Var, Call };
  Kind kind = Kind::Const;
  const Value* constant = nullptr;  // Const: the rule's own value
  std::size_t slot = 0;             // Var and Call
};

struct CompiledAtom {
  const std::string* predicate = nullptr;
  std::vector<Arg> args;
};

struct CompiledRule {
  CompiledAtom head;
  std::vector<CompiledAtom> body;
  std::size_t slot_count = 0;
};

// A row of bindings: one entry per variable slot, null while unbound. The values live in
// the fact sets (whose elements never move), in the rules, or in the judged call's id.
using Row = std::vector<const Value*>;

class RuleCompiler {
 public:
  CompiledRule compile(const DatalogRule& rule) {
    slots_.clear();
    CompiledRule compiled;
    compiled.head = compile_atom(rule.head);
    for (const Atom& atom : rule.body) compiled.body.push_back(compile_atom(atom));
    compiled.slot_count = slots_.size();
    return compiled;
  }

 private:
  CompiledAtom compile_atom(const Atom& atom) {
    CompiledAtom compiled{&atom.predicate, {}};
    compiled.args.reserve(atom.args.size());
    for (const Term& term : atom.args) compiled.args.push_back(compile_term(term));
    return compiled;
  }

  Arg compile_term(const Term& term) {
    if (term.kind == Term::Kind::Const) return Arg{Arg::Kind::Const, &term.value, 0};
    auto [entry, inserted] = slots_.try_emplace(term.var, slots_.size());
    Arg::Kind kind = term.var == kCallVariable ? Arg::Kind::Call : Arg::Kind::Var;
    return Arg{kind, nullptr, entry->second};
  }

  std::unordered_map<std::string, std::size_t> slots_;
};

// The fact base together with lookup indexes by (predicate, position, value), built on
// first use and kept up to date as tuples are added.
class Relations {
 public:
  explicit Relations(FactBase& facts) : facts_(facts) {}

  const FactSet* find(const std::string& predicate) const {
    auto found = facts_.find(predicate);
    return found == facts_.end() ? nullptr : &found->second;
  }

  // The tuples of the predicate whose value at `position` equals `value`.
  const std::vector<const Fact*>* matching(const std::string& predicate, std::size_t position,
                                           const Value& value) {
    const FactSet* set = find(predicate);
    if (set == nullptr) return nullptr;
    PositionIndexes& indexes = indexes_[predicate];
    std::unique_ptr<ValueIndex>& index = indexes[position];
    if (!index) {
      index = std::make_unique<ValueIndex>();
      for (const Fact& tuple : *set) add_to_index(*index, position, tuple);
    }
    auto found = index->find(value);
    return found == index->end() ? nullptr : &found->second;
  }

  // Adds the tuple; returns the stored tuple when it is new, null when it was present.
  const Fact* add(const std::string& predicate, Fact tuple) {
    auto [stored, inserted] = facts_[predicate].insert(std::move(tuple));
    if (!inserted) return nullptr;
    auto indexes = indexes_.find(predicate);
    if (indexes != indexes_.end()) {
      for (auto& [position, index] : indexes->second) add_to_index(*index, position, *stored);
    }
    return &*stored;
  }

  bool contains(const std::string& predicate, const Fact& tuple) const {
    const FactSet* set = find(predicate);
    return set != nullptr && set->contains(tuple);
  }

 private:
  using ValueIndex = std::unordered_map<Value, std::vector<const Fact*>, ValueHash>;
  using PositionIndexes = std::unordered_map<std::size_t, std::unique_ptr<ValueIndex>>;

  static void add_to_index(ValueIndex& index, std::size_t position, const Fact& tuple) {
    if (position < tuple.size()) index[tuple[position]].push_back(&tuple);
  }

  FactBase& facts_;
  std::unordered_map<std::string, PositionIndexes> indexes_;
};

// Tuples that are new since the previous pass, per predicate.
using Delta = std::unordered_map<std::string, std::vector<const Fact*>>;

// Joins one rule's body, with one chosen atom matched only against the newest tuples,
// and collects the head tuples that are not yet known.
class RuleJoin {
 public:
  RuleJoin(const CompiledRule& rule, Relations& relations, const Value& call)
      : rule_(rule), relations_(relations), call_(call) {}

  // Every head tuple of a derivation that matches atom `fresh` against `fresh_tuples`.
  void run(std::size_t fresh, const std::vector<const Fact*>& fresh_tuples) {
    order_.clear();
    order_.push_back(fresh);
    for (std::size_t i = 0; i < rule_.body.size(); ++i) {
      if (i != fresh) order_.push_back(i);
    }
    Row row(rule_.slot_count, nullptr);
    for (const Fact* tuple : fresh_tuples) {
      Row extended = row;
      if (unify(rule_.body[fresh], *tuple, extended)) extend(1, extended);
    }
  }

  // The head of a rule without body, from no bindings at all.
  void run_bodiless() { emit(Row(rule_.slot_count, nullptr)); }

  std::vector<Fact>& derived() { return derived_; }

 private:
  // Matches the atoms from `depth` on; the recursion is as deep as the rule's body.
  void extend(std::size_t depth, const Row& row) {
    if (depth == order_.size()) {
      emit(row);
      return;
    }
    const CompiledAtom& atom = rule_.body[order_[depth]];
    auto try_tuple = [&](const Fact& tuple) {
      Row extended = row;
      if (unify(atom, tuple, extended)) extend(depth + 1, extended);
    };
    if (std::optional<std::size_t> position = known_position(atom, row)) {
      const std::vector<const Fact*>* tuples =
          relations_.matching(*atom.predicate, *position, known_value(atom.args[*position], row));
      if (tuples == nullptr) return;
      for (const Fact* tuple : *tuples) try_tuple(*tuple);
      return;
    }
    const FactSet* set = relations_.find(*atom.predicate);
    if (set == nullptr) return;
    for (const Fact& tuple : *set) try_tuple(tuple);
  }

  // The first argument whose value is fixed before matching, usable as an index key.
  std::optional<std::size_t> known_position(const CompiledAtom& atom, const Row& row) const {
    for (std::size_t i = 0; i < atom.args.size(); ++i) {
      const Arg& arg = atom.args[i];
      if (arg.kind != Arg::Kind::Var || row[arg.slot] != nullptr) return i;
    }
    return std::nullopt;
  }

  const Value& known_value(const Arg& arg, const Row& row) const {
    switch (arg.kind) {
      case Arg::Kind::Const:
        return *arg.constant;
      case Arg::Kind::Call:
        return call_;
      case Arg::Kind::Var:
        break;
    }
    return *row[arg.slot];
  }

  bool unify(const CompiledAtom& atom, const Fact& tuple, Row& row) const {
    if (atom.args.size() != tuple.size()) return false;
    for (std::size_t i = 0; i < tuple.size(); ++i) {
      const Arg& arg = atom.args[i];
      const Value& actual = tuple[i];
      if (arg.kind == Arg::Kind::Const) {
        if (!(*arg.constant == actual)) return false;
        continue;
      }
      if (arg.kind == Arg::Kind::Call && !(actual == call_)) return false;
      const Value*& bound = row[arg.slot];
      if (bound == nullptr) {
        bound = &actual;
      } else if (!(*bound == actual)) {
        return false;
      }
    }
    return true;
  }

  // Makes the head tuple from the row; a head variable left unbound makes none.
  // Most derivations repeat known tuples, so the tuple is assembled in a reused buffer and
  // copied only when it is new.
  void emit(const Row& row) {
    scratch_.clear();
    for (const Arg& arg : rule_.head.args) {
      const Value* value = arg.kind == Arg::Kind::Const ? arg.constant : row[arg.slot];
      if (value == nullptr) return;
      scratch_.push_back(*value);
    }
    if (!relations_.contains(*rule_.head.predicate, scratch_)) derived_.push_back(scratch_);
  }

  const CompiledRule& rule_;
  Relations& relations_;
  const Value& call_;
  std::vector<std::size_t> order_;
  std::vector<Fact> derived_;
  Fact scratch_;
};

Delta everything_in(const FactBase& facts) {
  Delta delta;
  for (const auto& [predicate, set] : facts) {
    std::vector<const Fact*>& tuples = delta[predicate];
    tuples.reserve(set.size());
    for (const Fact& tuple : set) tuples.push_back(&tuple);
  }
  return delta;
}

// One pass: every derivation rule, in list order, against the tuples new since the last
// pass. Tuples added by a rule are visible to the rules after it. Returns the new tuples.
Delta run_pass(const std::vector<CompiledRule>& rules, Relations& relations, const Delta& fresh,
               bool first_pass, const Value& call) {
  Delta added;
  for (const CompiledRule& rule : rules) {
    RuleJoin join(rule, relations, call);
    if (rule.body.empty()) {
      if (first_pass) join.run_bodiless();
    }
    for (std::size_t i = 0; i < rule.body.size(); ++i) {
      auto tuples = fresh.find(*rule.body[i].predicate);
      if (tuples != fresh.end() && !tuples->second.empty()) join.run(i, tuples->second);
    }
    const std::string& predicate = *rule.head.predicate;
    for (Fact& tuple : join.derived()) {
      if (const Fact* stored = relations.add(predicate, std::move(tuple))) {
        added[predicate].push_back(stored);
      }
    }
  }
  return added;
}

}  // namespace

void derive_to_fixpoint(std::span<const DatalogRule> rules, FactBase& facts, EventId call_event) {
  std::vector<CompiledRule> compiled;
  RuleCompiler compiler;
  for (const DatalogRule& rule : rules) {
    if (!is_decision_rule(rule)) compiled.push_back(compiler.compile(rule));
  }
  if (compiled.empty()) return;

  const Value call = Value::Id(call_event);
  Relations relations(facts);
  // The first pass treats every fact as new (and runs the rules without body even when
  // there are no facts at all); later passes only what the pass before added.
  Delta fresh = everything_in(facts);
  bool first_pass = true;
  do {
    fresh = run_pass(compiled, relations, fresh, first_pass, call);
    first_pass = false;
  } while (!fresh.empty());
}

}  // namespace mobrel::detail
