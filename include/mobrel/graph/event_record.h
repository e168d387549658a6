// Event records: what the engine remembers about each piece of content, tool call and
// tool output, and the integrity digest that chains every record to its inputs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mobrel/graph/input_list.h"

namespace mobrel {

using EventId = std::uint64_t;
using Digest = std::array<std::uint8_t, 32>;

// Trust codes of ingested content: 0 system, 1 operator, 2 user, 3 external, 4 unknown.
using TrustLevel = std::uint8_t;

enum class EventKind : std::uint8_t { Content = 0, ToolCall = 1, ToolResult = 2 };

struct ContentPayload {
  std::string channel;
  std::string sender;
  Digest content_hash{};
  std::uint32_t content_len = 0;
  TrustLevel trust = 0;
};

struct ToolCallPayload {
  std::string tool;
  std::vector<std::string> param_keys;  // ascending byte order, unique
  std::string call_text;
  Digest params_hash{};
  std::uint32_t params_len = 0;
};

struct ToolResultPayload {
  std::string tool;
  Digest output_hash{};
  std::uint64_t reserved = 0;
  std::uint32_t output_len = 0;
  std::int32_t status = 0;
};

using EventPayload = std::variant<ContentPayload, ToolCallPayload, ToolResultPayload>;

EventKind kind_of(const EventPayload& payload);

struct EventRecord {
  EventId id = 0;
  InputList inputs;  // the events this one derives from, in recording order
  EventPayload payload;
  Digest integrity{};
  std::uint64_t timestamp_ms = 0;
  std::uint32_t version = 1;
};

// BLAKE3 digest of a byte range, in BLAKE3's default (unkeyed) mode.
Digest blake3_digest(std::span<const std::uint8_t> bytes);
Digest blake3_digest(std::string_view bytes);

// Lengths of hashed byte strings are kept as 32 bits, saturating at the largest value.
std::uint32_t capped_length(std::size_t length);

// Appends the exact byte sequence that the integrity digest covers (everything but the
// input digests, which follow it in the hasher).
void append_integrity_prefix(std::vector<std::uint8_t>& out, EventId id, std::uint32_t version,
                             std::uint64_t timestamp_ms, const EventPayload& payload);

// The record's integrity digest: its own fields, then the digests of those inputs that
// exist, in input order.
Digest compute_integrity(EventId id, std::uint32_t version, std::uint64_t timestamp_ms,
                         const EventPayload& payload, std::span<const Digest> input_digests);

}  // namespace mobrel
