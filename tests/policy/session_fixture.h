// A recorded agent session for judging calls: a store with a clock the test controls, a
// trace index and the session list, filled the way the engine fills them (every event
// derives from all earlier session events and takes in their labels).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "mobrel/graph/event_store.h"
#include "mobrel/policy/datalog.h"
#include "mobrel/policy/registry.h"
#include "mobrel/trace/trace_index.h"

namespace mobrel {

// Readable Datalog values in test failures.
inline void PrintTo(const Value& value, std::ostream* out) {
  if (value.kind == Value::Kind::Id) {
    *out << "Id(" << value.id << ")";
  } else {
    *out << "Text(\"" << value.text << "\")";
  }
}

}  // namespace mobrel

namespace mobrel::testing {

inline constexpr TrustLevel kSystem = 0;
inline constexpr TrustLevel kOperator = 1;
inline constexpr TrustLevel kUser = 2;
inline constexpr TrustLevel kExternal = 3;
inline constexpr TrustLevel kUnknown = 4;

class RecordedSession {
 public:
  RecordedSession() = default;
  RecordedSession(const RecordedSession&) = delete;
  RecordedSession& operator=(const RecordedSession&) = delete;

  // The clock that stamps records and that rate windows are judged by.
  std::uint64_t now = 1'700'000'000'000;

  EventStore store{[this] { return now; }};
  TraceIndex trace;
  ToolRegistry registry;
  std::vector<EventId> session;

  EventId content(TrustLevel trust, LabelSet labels = {}) {
    ContentPayload payload;
    payload.channel = "chat";
    payload.trust = trust;
    return record(std::move(payload), std::move(labels));
  }

  EventId call(std::string tool, LabelSet labels = {}) {
    ToolCallPayload payload;
    payload.tool = std::move(tool);
    return record(std::move(payload), std::move(labels));
  }

  EventId result(std::string tool, LabelSet labels = {}) {
    ToolResultPayload payload;
    payload.tool = std::move(tool);
    return record(std::move(payload), std::move(labels));
  }

 private:
  EventId record(EventPayload payload, LabelSet labels) {
    InputList inputs;
    for (EventId id : session) inputs.push_back(id);
    const EventId id = store.insert(std::move(payload), std::move(inputs));
    trace.merge_into(id, labels);
    trace.propagate_from(id, store);
    session.push_back(id);
    return id;
  }
};

}  // namespace mobrel::testing
