#include "mobrel/engine.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "json/json_reader.h"
#include "mobrel/policy/defaults.h"
#include "mobrel/policy/evaluator.h"
#include "mobrel/policy/loader.h"
#include "sanitizer/patterns.h"

namespace mobrel {
namespace {

constexpr TrustLevel kTrustExternal = 3;
constexpr TrustLevel kTrustUnknown = 4;

std::string_view as_text(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string metadata_value(const Metadata* metadata, std::string_view key) {
  if (!metadata) return {};
  auto it = metadata->find(key);
  return it == metadata->end() ? std::string() : it->second;
}

// Top-level member names of a JSON object, each once, in ascending byte order; empty when
// the bytes are not one JSON object.
std::vector<std::string> param_keys_of(std::span<const std::uint8_t> params) {
  std::optional<boost::json::value> document = json::parse_document(as_text(params));
  if (!document || !document->is_object()) return {};
  std::vector<std::string> keys;
  for (const auto& member : document->get_object()) keys.emplace_back(member.key());
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

}  // namespace

Engine::Engine(InputMode input_mode, Clock clock)
    : Engine(input_mode, default_rules(), std::move(clock)) {}

Engine Engine::new_with_policies(InputMode input_mode, std::vector<PolicyRule> rules, Clock clock) {
  return Engine(input_mode, std::move(rules), std::move(clock));
}

Engine::Engine(InputMode input_mode, std::vector<PolicyRule> rules, Clock clock)
    : store_(std::move(clock)),
      rules_(std::move(rules)),
      sink_(std::make_unique<NoOpSink>()),
      input_mode_(input_mode) {}

std::variant<std::size_t, std::string> Engine::load_policies_yaml(std::string_view bytes) {
  LoadResult result = parse_policy_yaml(bytes);
  if (const LoadError* error = std::get_if<LoadError>(&result)) return error->to_string();
  auto& loaded = std::get<std::vector<PolicyRule>>(result);
  rules_.insert(rules_.end(), std::make_move_iterator(loaded.begin()),
                std::make_move_iterator(loaded.end()));
  return loaded.size();
}

InputList Engine::session_inputs(std::optional<std::span<const EventId>> explicit_sources) const {
  InputList inputs;
  if (input_mode_ == InputMode::ExplicitOnly) {
    if (explicit_sources)
      for (EventId id : *explicit_sources) inputs.push_back(id);
    return inputs;
  }
  for (EventId id : session_events_) inputs.push_back(id);
  if (input_mode_ == InputMode::SessionAndExplicit && explicit_sources) {
    std::unordered_set<EventId> present(session_events_.begin(), session_events_.end());
    for (EventId id : *explicit_sources)
      if (present.insert(id).second) inputs.push_back(id);
  }
  return inputs;
}

EventId Engine::store_and_notify(EventPayload payload, InputList inputs,
                                 std::span<const std::uint8_t> raw) {
  const auto kind = static_cast<std::uint8_t>(kind_of(payload));
  const EventId id = store_.insert(std::move(payload), std::move(inputs));
  sink_->event_recorded(*store_.find(id));
  sink_->content_recorded(id, kind, raw);
  return id;
}

void Engine::finish_recording(EventId id, const LabelSet& own_labels) {
  // Own labels are merged, never replacing a label the host attached to this id before it
  // was recorded; settling then also reaches events that named this id in advance.
  trace_.merge_into(id, own_labels);
  trace_.settle(id, store_);
  session_events_.push_back(id);
}

EventId Engine::ingest(std::span<const std::uint8_t> content, TrustLevel trust,
                       const Metadata* metadata) {
  ContentPayload payload;
  payload.channel = metadata_value(metadata, "channel");
  payload.sender = metadata && metadata->contains("sender") ? metadata_value(metadata, "sender")
                                                            : metadata_value(metadata, "sender_id");
  payload.content_hash = blake3_digest(content);
  payload.content_len = capped_length(content.size());
  payload.trust = trust;

  const EventId id = store_and_notify(std::move(payload), session_inputs(std::nullopt), content);
  LabelSet own;
  if (trust == kTrustExternal || trust == kTrustUnknown) own.emplace("external");
  finish_recording(id, own);
  return id;
}

Decision Engine::propose(std::string_view tool, std::span<const std::uint8_t> params,
                         std::optional<std::string_view> call_text,
                         std::optional<std::span<const EventId>> explicit_sources) {
  ToolCallPayload payload;
  payload.tool = tool;
  payload.param_keys = param_keys_of(params);
  payload.call_text = call_text.value_or("");
  payload.params_hash = blake3_digest(params);
  payload.params_len = capped_length(params.size());

  const EventId id = store_and_notify(std::move(payload), session_inputs(explicit_sources), params);
  finish_recording(id, {});

  PolicyVerdict verdict =
      evaluate(rules_, id, tool, store_, trace_, registry_, session_events_,
               datalog_rules_.empty() ? nullptr : &datalog_rules_, as_text(params));
  Decision decision;
  decision.event_id = id;
  decision.outcome = verdict.outcome;
  decision.allowed = verdict.outcome == Outcome::Allow;
  decision.rule_id = std::move(verdict.rule_id);
  decision.reason = std::move(verdict.reason);
  return decision;
}

EventId Engine::record_result(EventId call_event, std::span<const std::uint8_t> output,
                              std::int32_t status) {
  ToolResultPayload payload;
  if (const EventRecord* call = store_.find(call_event))
    if (const auto* call_payload = std::get_if<ToolCallPayload>(&call->payload))
      payload.tool = call_payload->tool;
  payload.output_hash = blake3_digest(output);
  payload.output_len = capped_length(output.size());
  payload.status = status;

  const EventId id = store_and_notify(std::move(payload), InputList{call_event}, output);
  LabelSet own;
  if (matches_suspicious(output)) own.emplace("injected");
  finish_recording(id, own);
  return id;
}

void Engine::set_label(EventId id, std::string_view label) {
  trace_.merge_into(id, LabelSet{std::string(label)});
  trace_.settle(id, store_);
}

bool Engine::is_traced_to(EventId id, std::string_view label) const {
  return trace_.is_traced_to(id, label);
}

namespace {

std::string decimal(EventId id) {
  char digits[20];
  return {digits, std::to_chars(digits, digits + sizeof digits, id).ptr};
}

std::string joined(const LabelSet& labels, std::string_view separator) {
  std::string out;
  bool first = true;
  for (const std::string& label : labels) {
    if (!first) out += separator;
    first = false;
    out += label;
  }
  return out;
}

}  // namespace

std::optional<Explain> Engine::explain(EventId id) const {
  if (!store_.find(id)) return std::nullopt;
  Explain result;
  result.chain = store_.causal_chain(id);

  std::string summary = "Event " + decimal(id);
  if (const LabelSet* own = trace_.find(id)) {
    summary += " [";
    summary += joined(*own, ", ");
    summary += "]";
  }
  summary += ". Chain: ";
  if (result.chain.empty()) summary += "no predecessors";
  for (std::size_t i = 0; i < result.chain.size(); ++i) {
    if (i > 0) summary += " \xE2\x86\x92 ";  // U+2192 RIGHTWARDS ARROW
    summary += decimal(result.chain[i]);
    if (const LabelSet* labels = trace_.find(result.chain[i])) {
      summary += "(";
      summary += joined(*labels, ",");
      summary += ")";
    }
  }
  summary += ".";
  result.summary = std::move(summary);

  if (viewer_base_url_) {
    std::string_view base = *viewer_base_url_;
    while (!base.empty() && base.back() == '/') base.remove_suffix(1);
    result.viewer_url = std::string(base) + "/trace/event_" + decimal(id);
  }
  return result;
}

void Engine::set_sink(std::unique_ptr<EventSink> sink) {
  sink_ = sink ? std::move(sink) : std::make_unique<NoOpSink>();
}

void Engine::set_datalog_rules(std::vector<DatalogRule> rules) {
  datalog_rules_ = std::move(rules);
}

void Engine::set_viewer_base_url(std::optional<std::string> url) {
  viewer_base_url_ = std::move(url);
}

}  // namespace mobrel
