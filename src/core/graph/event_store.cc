#include "mobrel/graph/event_store.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace mobrel {

EventStore::EventStore(Clock clock) : clock_(std::move(clock)) {}

EventId EventStore::insert(EventPayload payload, InputList inputs) {
  const EventId id = next_id_;
  if (next_id_ != std::numeric_limits<EventId>::max()) ++next_id_;
  const std::uint64_t timestamp_ms = clock_();

  std::vector<Digest> input_digests;
  input_digests.reserve(inputs.size());
  for (EventId input : inputs)
    if (const EventRecord* record = find(input)) input_digests.push_back(record->integrity);

  EventRecord record;
  record.id = id;
  record.timestamp_ms = timestamp_ms;
  record.integrity = compute_integrity(id, record.version, timestamp_ms, payload, input_digests);
  record.payload = std::move(payload);
  record.inputs = std::move(inputs);
  index_children(record);
  records_.push_back(std::move(record));
  return id;
}

void EventStore::index_children(const EventRecord& record) {
  if (record.inputs.leading_run() > 0)
    run_children_.emplace(record.inputs.leading_run(), record.id);
  for (EventId from : record.inputs.after_run()) listed_children_[from].push_back(record.id);
}

const EventRecord* EventStore::find(EventId id) const {
  if (id < records_.size() && records_[id].id == id) return &records_[id];
  // Ids follow positions; the scan only matters once the id counter has saturated.
  auto it = std::find_if(records_.begin(), records_.end(),
                         [id](const EventRecord& record) { return record.id == id; });
  return it == records_.end() ? nullptr : &*it;
}

std::vector<EventId> EventStore::causal_chain(EventId id) const {
  std::unordered_set<EventId> visited;
  std::vector<EventId> stack{id};
  while (!stack.empty()) {
    const EventId current = stack.back();
    stack.pop_back();
    if (!visited.insert(current).second) continue;
    if (const EventRecord* record = find(current))
      for (EventId input : record->inputs)
        if (!visited.contains(input)) stack.push_back(input);
  }
  visited.erase(id);
  std::vector<EventId> chain(visited.begin(), visited.end());
  std::sort(chain.begin(), chain.end());
  return chain;
}

}  // namespace mobrel
