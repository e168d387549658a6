// Trace labels per event, carried along data-flow edges.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "mobrel/graph/event_store.h"

namespace mobrel {

// A set of trace labels, compared byte for byte. Its iteration order carries no meaning.
using LabelSet = std::set<std::string, std::less<>>;

class TraceIndex {
 public:
  // Replaces the event's labels; an empty set removes its entry. Returns whether the
  // labels changed (an event that had no entry always counts as changed).
  bool set(EventId id, LabelSet labels);

  // Adds labels to the event's set; returns whether the set grew.
  bool merge_into(EventId id, const LabelSet& labels);

  // A copy of the event's labels; empty when it has none.
  LabelSet trace_set(EventId id) const;

  // The event's labels without copying, or null when it has none.
  const LabelSet* find(EventId id) const;

  bool is_traced_to(EventId id, std::string_view label) const;

  // Recomputes the event's labels as its own together with those of its data-flow
  // parents and, when that changed them, carries the change on to its dependents.
  // Terminates on cyclic graphs and uses a work list, never deep recursion.
  void propagate_from(EventId id, const EventStore& store);

  // Pulls the parents' labels into the event, then carries its whole set on to every
  // event already derived from it, directly or indirectly. Used after an event gains
  // labels of its own, so that nothing derived from it is left without them.
  void settle(EventId id, const EventStore& store);

 private:
  // Pulls the parents' labels into `id`; returns whether its set grew.
  bool pull_from_parents(EventId id, const EventStore& store);
  // Merges each grown event's set into its children until nothing grows.
  void push_to_dependents(EventId id, const EventStore& store);

  std::unordered_map<EventId, LabelSet> sets_;
};

}  // namespace mobrel
