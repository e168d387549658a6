// The append-only home of an engine's event records and of the input relations between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "mobrel/graph/clock.h"
#include "mobrel/graph/event_record.h"

namespace mobrel {

// How an input relates to the event that has it. Data flow is the only kind recorded.
enum class EdgeKind : std::uint8_t { DataFlow = 0 };

struct Edge {
  EventId from = 0;  // the input event (need not exist)
  EventId to = 0;    // the event that has this input
  EdgeKind kind = EdgeKind::DataFlow;
};

class EventStore {
 public:
  explicit EventStore(Clock clock = wall_clock_ms);

  // Stores a new event: assigns the next id, stamps the time, computes the integrity
  // digest over the payload and the digests of the inputs that exist. Every input is a
  // data-flow input. Returns the new id.
  EventId insert(EventPayload payload, InputList inputs);

  // The record with that id, or null. The pointer is valid until the next insert.
  const EventRecord* find(EventId id) const;

  // Every event that `id` derives from, directly or indirectly, ascending, without `id`
  // itself; ids without records are included but not expanded.
  std::vector<EventId> causal_chain(EventId id) const;

  std::size_t size() const { return records_.size(); }
  const std::vector<EventRecord>& records() const { return records_; }

  // Edges, in insertion order: one per input of every record. Callers iterate; how the
  // edges are held is the store's own business.
  template <typename Visit>
  void for_each_edge(Visit&& visit) const {
    for (const EventRecord& record : records_)
      for (EventId from : record.inputs) visit(Edge{from, record.id, EdgeKind::DataFlow});
  }

  // Data-flow parents of an event (the `from` of every edge whose `to` is `id`).
  template <typename Visit>
  void for_each_parent(EventId id, Visit&& visit) const {
    if (const EventRecord* record = find(id))
      for (EventId from : record->inputs) visit(from);
  }

  // Data-flow children of an event (the `to` of every edge whose `from` is `id`), once per
  // edge, in no particular order. Answered from an index, in time proportional to the
  // number of children.
  template <typename Visit>
  void for_each_child(EventId id, Visit&& visit) const {
    for_each_run_child(id, visit);
    for_each_listed_child(id, visit);
  }

  // The children that hold `id` inside the leading run 0..r-1 of their inputs (r > id).
  // Every record whose run covers an id covers all smaller ids too.
  template <typename Visit>
  void for_each_run_child(EventId id, Visit&& visit) const {
    for (auto it = run_children_.upper_bound(id); it != run_children_.end(); ++it)
      visit(it->second);
  }

  // The children that name `id` after the leading run of their inputs.
  template <typename Visit>
  void for_each_listed_child(EventId id, Visit&& visit) const {
    if (auto listed = listed_children_.find(id); listed != listed_children_.end())
      for (EventId child : listed->second) visit(child);
  }

  // The clock that stamps records; the rule evaluator judges rate windows with it.
  std::uint64_t now_ms() const { return clock_(); }

 private:
  void index_children(const EventRecord& record);

  Clock clock_;
  std::vector<EventRecord> records_;
  EventId next_id_ = 0;
  // Children index. A record whose inputs start with the run 0..r-1 is a child of every
  // id below r: it is filed under r. Inputs after the run are filed under their own id.
  std::multimap<EventId, EventId> run_children_;
  std::unordered_map<EventId, std::vector<EventId>> listed_children_;
};

}  // namespace mobrel
