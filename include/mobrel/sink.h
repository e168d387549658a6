// The observer told of every event the engine records.
#pragma once

#include <cstdint>
#include <span>

#include "mobrel/graph/event_record.h"

namespace mobrel {

class EventSink {
 public:
  virtual ~EventSink() = default;

  // The record just stored.
  virtual void event_recorded(const EventRecord& record) = 0;

  // The raw bytes whose digest the event holds: the ingested content (kind 0), the call's
  // parameter bytes (kind 1) or the tool's output (kind 2).
  virtual void content_recorded(EventId event_id, std::uint8_t kind,
                                std::span<const std::uint8_t> content) {
    (void)event_id;
    (void)kind;
    (void)content;
  }
};

class NoOpSink final : public EventSink {
 public:
  void event_recorded(const EventRecord&) override {}
};

}  // namespace mobrel
