#include "mobrel/graph/event_record.h"

#include <blake3.h>

#include <limits>

namespace mobrel {
namespace {

class HashInput {
 public:
  explicit HashInput(std::vector<std::uint8_t>& out) : out_(out) {}

  template <typename Int>
  void integer(Int value) {
    auto bits = static_cast<std::make_unsigned_t<Int>>(value);
    for (std::size_t i = 0; i < sizeof(Int); ++i)
      out_.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  }
  void text(std::string_view value) {
    integer(capped_length(value.size()));
    out_.insert(out_.end(), value.begin(), value.end());
  }
  void digest(const Digest& value) { out_.insert(out_.end(), value.begin(), value.end()); }

  void payload(const ContentPayload& p) {
    text(p.channel);
    text(p.sender);
    digest(p.content_hash);
    integer(p.content_len);
    integer(p.trust);
  }
  void payload(const ToolCallPayload& p) {
    text(p.tool);
    digest(p.params_hash);
    integer(p.params_len);
    for (const std::string& key : p.param_keys) text(key);
    text(p.call_text);
  }
  void payload(const ToolResultPayload& p) {
    text(p.tool);
    digest(p.output_hash);
    integer(p.output_len);
    integer(p.reserved);
    integer(p.status);
  }

 private:
  std::vector<std::uint8_t>& out_;
};

}  // namespace

EventKind kind_of(const EventPayload& payload) { return static_cast<EventKind>(payload.index()); }

Digest blake3_digest(std::span<const std::uint8_t> bytes) {
  blake3_hasher hasher;
  blake3_hasher_init(&hasher);
  blake3_hasher_update(&hasher, bytes.data(), bytes.size());
  Digest out;
  blake3_hasher_finalize(&hasher, out.data(), out.size());
  return out;
}

Digest blake3_digest(std::string_view bytes) {
  return blake3_digest(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::uint32_t capped_length(std::size_t length) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  return length > kMax ? kMax : static_cast<std::uint32_t>(length);
}

void append_integrity_prefix(std::vector<std::uint8_t>& out, EventId id, std::uint32_t version,
                             std::uint64_t timestamp_ms, const EventPayload& payload) {
  HashInput input(out);
  input.integer(id);
  input.integer(version);
  input.integer(timestamp_ms);
  input.integer(static_cast<std::uint8_t>(static_cast<std::uint8_t>(kind_of(payload)) + 1));
  std::visit([&](const auto& p) { input.payload(p); }, payload);
}

Digest compute_integrity(EventId id, std::uint32_t version, std::uint64_t timestamp_ms,
                         const EventPayload& payload, std::span<const Digest> input_digests) {
  std::vector<std::uint8_t> prefix;
  append_integrity_prefix(prefix, id, version, timestamp_ms, payload);
  blake3_hasher hasher;
  blake3_hasher_init(&hasher);
  blake3_hasher_update(&hasher, prefix.data(), prefix.size());
  // The input digests are contiguous: one update covers them all.
  blake3_hasher_update(&hasher, input_digests.data(), input_digests.size_bytes());
  Digest out;
  blake3_hasher_finalize(&hasher, out.data(), out.size());
  return out;
}

}  // namespace mobrel
