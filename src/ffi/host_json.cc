#include "ffi/host_json.h"

#include "ffi/host_bytes.h"
#include "json/json_reader.h"
#include "json/json_writer.h"

namespace mobrel::ffi {
namespace {

std::optional<boost::json::value> parse_host_json(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || !is_valid_utf8(bytes)) return std::nullopt;
  return json::parse_document({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

bool equals_ignoring_ascii_case(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower_word[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<Metadata> read_metadata(std::span<const std::uint8_t> bytes) {
  std::optional<boost::json::value> document = parse_host_json(bytes);
  if (!document || !document->is_object()) return std::nullopt;
  Metadata metadata;
  for (const auto& member : document->get_object()) {
    if (!member.value().is_string()) return std::nullopt;
    metadata.emplace(std::string(member.key()), std::string(member.value().get_string()));
  }
  return metadata;
}

RiskLevel risk_from_str(std::string_view text) {
  if (equals_ignoring_ascii_case(text, "low")) return RiskLevel::Low;
  if (equals_ignoring_ascii_case(text, "high")) return RiskLevel::High;
  if (equals_ignoring_ascii_case(text, "critical")) return RiskLevel::Critical;
  return RiskLevel::Medium;
}

ToolEntry read_tool_definition(std::span<const std::uint8_t> bytes) {
  ToolEntry entry;
  std::optional<boost::json::value> document = parse_host_json(bytes);
  if (!document || !document->is_object()) return entry;
  const boost::json::object& object = document->get_object();
  if (auto* risk = object.if_contains("risk"); risk && risk->is_string())
    entry.risk = risk_from_str(risk->get_string());
  if (auto* category = object.if_contains("category"); category && category->is_string())
    entry.category = std::string(category->get_string());
  return entry;
}

std::string decision_json(const Decision& decision) {
  json::JsonWriter writer;
  writer.begin_object().key("allowed").boolean(false);
  if (decision.outcome == Outcome::Escalate) writer.key("outcome").string("escalate");
  writer.key("reason").string(decision.reason).key("rule_id");
  if (decision.rule_id) {
    writer.string(*decision.rule_id);
  } else {
    writer.null();
  }
  return writer.end_object().take();
}

std::string explanation_json(const Explain& explanation) {
  json::JsonWriter writer;
  writer.begin_object().key("text").string(explanation.summary).key("trace_chain").begin_array();
  for (EventId id : explanation.chain) writer.unsigned_integer(id);
  writer.end_array();
  if (explanation.viewer_url) writer.key("viewer_url").string(*explanation.viewer_url);
  return writer.end_object().take();
}

}  // namespace mobrel::ffi
