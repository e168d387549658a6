// Reading JSON from host buffers, over Boost.JSON.
#pragma once

#include <boost/json/value.hpp>
#include <optional>
#include <string_view>

namespace mobrel::json {

// Nesting that every reader of host JSON accepts: 127 levels of arrays and objects.
inline constexpr std::size_t kMaxDepth = 127;

// Parses the text as exactly one JSON value with optional surrounding whitespace (space,
// tab, line feed, carriage return). Strict RFC 8259: no comments, no trailing commas,
// valid UTF-8 only. A member name that occurs twice keeps its later value. Nothing when
// the text is not such a document or nests deeper than `max_depth`.
std::optional<boost::json::value> parse_document(std::string_view text,
                                                 std::size_t max_depth = kMaxDepth);

}  // namespace mobrel::json
