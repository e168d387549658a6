// How plain YAML scalars read as numbers, booleans and nulls, and how the reader names
// values in its messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mobrel/policy/types.h"
#include "policy/yaml_events.h"

namespace mobrel::detail {

inline constexpr std::string_view kNullTag = "tag:yaml.org,2002:null";
inline constexpr std::string_view kBoolTag = "tag:yaml.org,2002:bool";
inline constexpr std::string_view kIntTag = "tag:yaml.org,2002:int";
inline constexpr std::string_view kFloatTag = "tag:yaml.org,2002:float";
inline constexpr std::string_view kStrTag = "tag:yaml.org,2002:str";

// Local tags (`!name`) are application tags; everything else libyaml resolved to a URI.
inline bool is_local_tag(std::string_view tag) { return !tag.empty() && tag.front() == '!'; }

// The empty text, `~`, `null`, `Null` and `NULL`.
bool is_null_text(std::string_view text);

// `true`, `True`, `TRUE`, `false`, `False`, `FALSE`, and no other spelling.
std::optional<bool> parse_bool(std::string_view text);

// A non-negative integer that fits in 64 bits: an optional `+`, then decimal, or `0x`, `0o`,
// `0b` followed by hexadecimal, octal or binary digits. A decimal number with a leading
// zero (007) is no number.
std::optional<std::uint64_t> parse_unsigned(std::string_view text);

// As parse_unsigned, and also negative numbers down to the 64-bit signed minimum. The
// result is an Int when it fits in 64 signed bits, else a UInt.
std::optional<YamlValue> parse_integer(std::string_view text);

// Finite decimal numbers, `.inf`/`.nan` in their three spellings and signed infinities.
// A decimal digit string with a leading zero is no floating-point number either.
std::optional<double> parse_float(std::string_view text);

// Shortest text that reads back as the same double, always with a fraction (1.0, 0.001,
// 100000000000000000000.0); `inf`, `-inf`, `NaN` for the non-finite values.
std::string format_float(double value);

// The value of a scalar, by its tag and style: quoted and block scalars are text, plain
// untagged ones are null, boolean, integer, floating point or text, in that order, and the
// standard tags force their type. Local tags do not take part here (the caller decides
// what they mean). A scalar whose standard tag does not fit its text yields no value and
// the invalid-value message in `fault`.
std::optional<YamlValue> type_scalar(const YamlEvent& scalar, std::string& fault);

// The name of a found value in invalid-type messages: string "x", integer `5`, ...
std::string describe_value(const YamlValue& value);

// "invalid type: <found>, expected <expected>" for the node starting at `node`: a sequence,
// a map, or a scalar named by its typing (or its typing's own fault).
std::string invalid_type(const YamlEvent& node, std::string_view expected);
std::string invalid_type(std::string_view found, std::string_view expected);

}  // namespace mobrel::detail
