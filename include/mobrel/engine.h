// The engine: one agent session's events, trace labels, rules and tools.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mobrel/graph/event_store.h"
#include "mobrel/policy/datalog.h"
#include "mobrel/policy/registry.h"
#include "mobrel/policy/types.h"
#include "mobrel/sink.h"
#include "mobrel/trace/trace_index.h"

namespace mobrel {

// Which earlier events become inputs of an ingested or proposed event.
enum class InputMode : std::uint8_t { AllSession = 0, SessionAndExplicit = 1, ExplicitOnly = 2 };

// Ingest metadata: member name to text; names are unique.
using Metadata = std::map<std::string, std::string, std::less<>>;

struct Decision {
  EventId event_id = 0;
  Outcome outcome = Outcome::Allow;
  bool allowed = true;
  std::optional<std::string> rule_id;
  std::string reason;
};

struct Explain {
  std::string summary;
  std::vector<EventId> chain;
  std::optional<std::string> viewer_url;
};

class Engine {
 public:
  // An engine holding the six built-in rules.
  explicit Engine(InputMode input_mode, Clock clock = wall_clock_ms);
  // An engine holding exactly the given rules.
  static Engine new_with_policies(InputMode input_mode, std::vector<PolicyRule> rules,
                                  Clock clock = wall_clock_ms);

  Engine(Engine&&) = default;
  Engine& operator=(Engine&&) = default;

  // Appends the rules of one policy document; returns how many, or the loader's error
  // text. A document that fails anywhere adds no rule.
  std::variant<std::size_t, std::string> load_policies_yaml(std::string_view bytes);

  EventId ingest(std::span<const std::uint8_t> content, TrustLevel trust,
                 const Metadata* metadata);
  Decision propose(std::string_view tool, std::span<const std::uint8_t> params,
                   std::optional<std::string_view> call_text,
                   std::optional<std::span<const EventId>> explicit_sources);
  EventId record_result(EventId call_event, std::span<const std::uint8_t> output,
                        std::int32_t status);
  void set_label(EventId id, std::string_view label);
  bool is_traced_to(EventId id, std::string_view label) const;
  std::optional<Explain> explain(EventId id) const;

  // Extension points for programs that embed the core; the host interface uses none.
  void set_sink(std::unique_ptr<EventSink> sink);
  void set_datalog_rules(std::vector<DatalogRule> rules);
  void set_viewer_base_url(std::optional<std::string> url);

  ToolRegistry& registry() { return registry_; }
  const ToolRegistry& registry() const { return registry_; }
  const EventStore& store() const { return store_; }
  const TraceIndex& trace() const { return trace_; }
  const std::vector<PolicyRule>& rules() const { return rules_; }
  const std::vector<EventId>& session_events() const { return session_events_; }
  InputMode input_mode() const { return input_mode_; }

 private:
  Engine(InputMode input_mode, std::vector<PolicyRule> rules, Clock clock);

  // The steps every recording operation shares: store the event and tell the sink, then
  // give it its own labels, settle its labels with its neighbours, and append it to the
  // session.
  EventId store_and_notify(EventPayload payload, InputList inputs,
                           std::span<const std::uint8_t> raw);
  void finish_recording(EventId id, const LabelSet& own_labels);
  InputList session_inputs(std::optional<std::span<const EventId>> explicit_sources) const;

  EventStore store_;
  std::vector<EventId> session_events_;
  std::vector<PolicyRule> rules_;
  std::vector<DatalogRule> datalog_rules_;
  std::optional<std::string> viewer_base_url_;
  TraceIndex trace_;
  ToolRegistry registry_;
  std::unique_ptr<EventSink> sink_;
  InputMode input_mode_;
};

}  // namespace mobrel
