// The JSON the host passes in (ingest metadata, tool definitions) and the JSON texts the
// library hands back (decisions, explanations).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mobrel/engine.h"

namespace mobrel::ffi {

// Metadata: one JSON object whose members are all strings; nothing for anything else.
std::optional<Metadata> read_metadata(std::span<const std::uint8_t> bytes);

// "low", "high" and "critical" in any ASCII letter case; medium for every other text.
RiskLevel risk_from_str(std::string_view text);

// A tool definition: "risk" and "category" string members of a JSON object; defaults
// (medium, no category) for whatever is missing or unreadable.
ToolEntry read_tool_definition(std::span<const std::uint8_t> bytes);

// {"allowed":false,["outcome":"escalate",]"reason":...,"rule_id":... or null}
std::string decision_json(const Decision& decision);

// {"text":...,"trace_chain":[...][,"viewer_url":...]}
std::string explanation_json(const Explain& explanation);

}  // namespace mobrel::ffi
