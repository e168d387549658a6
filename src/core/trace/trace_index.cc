#include "mobrel/trace/trace_index.h"

#include <map>
#include <vector>

namespace mobrel {

bool TraceIndex::set(EventId id, LabelSet labels) {
  auto it = sets_.find(id);
  const bool changed = it == sets_.end() || it->second != labels;
  if (labels.empty()) {
    if (it != sets_.end()) sets_.erase(it);
  } else if (it == sets_.end()) {
    sets_.emplace(id, std::move(labels));
  } else {
    it->second = std::move(labels);
  }
  return changed;
}

bool TraceIndex::merge_into(EventId id, const LabelSet& labels) {
  if (labels.empty()) return false;
  LabelSet& target = sets_[id];
  const std::size_t before = target.size();
  target.insert(labels.begin(), labels.end());
  return target.size() > before;
}

LabelSet TraceIndex::trace_set(EventId id) const {
  const LabelSet* labels = find(id);
  return labels ? *labels : LabelSet{};
}

const LabelSet* TraceIndex::find(EventId id) const {
  auto it = sets_.find(id);
  return it == sets_.end() ? nullptr : &it->second;
}

bool TraceIndex::is_traced_to(EventId id, std::string_view label) const {
  const LabelSet* labels = find(id);
  return labels && labels->contains(label);
}

bool TraceIndex::pull_from_parents(EventId id, const EventStore& store) {
  LabelSet result = trace_set(id);
  const std::size_t before = result.size();
  store.for_each_parent(id, [&](EventId parent) {
    if (const LabelSet* labels = find(parent)) result.insert(labels->begin(), labels->end());
  });
  // Labels only accumulate, so the set changed exactly when it grew. Judging by growth
  // (not by "had no entry") is what ends propagation on cycles of unlabelled events.
  if (result.size() == before) return false;
  set(id, std::move(result));
  return true;
}

void TraceIndex::push_to_dependents(EventId id, const EventStore& store) {
  // Events that gained labels hand the gain on to their children, lowest id first, until
  // nothing grows; sets only grow and are bounded by the labels in use, so this ends on
  // cyclic graphs too. A label handed to every record whose inputs start with a run covering
  // some id e has reached every record whose run covers a larger id as well, so such a
  // label is carried through the run index once, from the lowest id that gained it.
  const LabelSet* start = find(id);
  if (!start) return;
  std::map<EventId, LabelSet> gained{{id, *start}};
  std::unordered_map<std::string, EventId> carried_through_runs_from;
  auto give = [&](EventId child, const LabelSet& labels) {
    LabelSet& target = sets_[child];
    for (const std::string& label : labels)
      if (target.insert(label).second) gained[child].insert(label);
    if (target.empty()) sets_.erase(child);
  };
  while (!gained.empty()) {
    auto node = gained.extract(gained.begin());
    const EventId current = node.key();
    const LabelSet& labels = node.mapped();
    LabelSet through_runs;
    for (const std::string& label : labels) {
      auto [it, first] = carried_through_runs_from.try_emplace(label, current);
      if (first || it->second > current) {
        it->second = current;
        through_runs.insert(label);
      }
    }
    if (!through_runs.empty())
      store.for_each_run_child(current, [&](EventId child) { give(child, through_runs); });
    store.for_each_listed_child(current, [&](EventId child) { give(child, labels); });
  }
}

void TraceIndex::propagate_from(EventId id, const EventStore& store) {
  if (pull_from_parents(id, store)) push_to_dependents(id, store);
}

void TraceIndex::settle(EventId id, const EventStore& store) {
  pull_from_parents(id, store);
  push_to_dependents(id, store);
}

}  // namespace mobrel
