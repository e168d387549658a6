#include "mobrel/trace/trace_index.h"

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
  // Each event that grows hands its whole set to its children. Since sets only grow and
  // are bounded by the labels in use, the work list empties even on cyclic graphs.
  std::vector<EventId> work{id};
  while (!work.empty()) {
    const EventId current = work.back();
    work.pop_back();
    const LabelSet* labels = find(current);
    if (!labels) continue;
    const LabelSet carried = *labels;
    store.for_each_child(current, [&](EventId child) {
      if (merge_into(child, carried)) work.push_back(child);
    });
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
