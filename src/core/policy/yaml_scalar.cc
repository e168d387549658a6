#include "policy/yaml_scalar.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "policy/debug_string.h"

namespace mobrel::detail {
namespace {

bool starts_with_sign(std::string_view text) {
  return !text.empty() && (text.front() == '+' || text.front() == '-');
}

// A decimal digit string with a leading zero, optionally signed: YAML 1.2 reads 007 as text.
bool digits_but_not_number(std::string_view text) {
  if (starts_with_sign(text)) text.remove_prefix(1);
  if (text.size() < 2 || text.front() != '0') return false;
  for (char c : text.substr(1))
    if (c < '0' || c > '9') return false;
  return true;
}

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// One or more digits of `radix` and nothing else; the magnitude must not exceed `limit`.
std::optional<std::uint64_t> parse_digits(std::string_view digits, unsigned radix,
                                          std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    int digit = digit_value(c);
    if (digit >= static_cast<int>(radix)) return std::nullopt;
    if (value > (limit - static_cast<unsigned>(digit)) / radix) return std::nullopt;
    value = value * radix + static_cast<unsigned>(digit);
  }
  return value;
}

struct RadixPrefix {
  std::string_view prefix;
  unsigned radix;
};
constexpr RadixPrefix kPrefixes[] = {{"0x", 16}, {"0o", 8}, {"0b", 2}};

constexpr std::uint64_t kMaxMagnitudeNegative =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1;

std::optional<std::int64_t> negate(std::uint64_t magnitude) {
  if (magnitude > kMaxMagnitudeNegative) return std::nullopt;
  if (magnitude == kMaxMagnitudeNegative) return std::numeric_limits<std::int64_t>::min();
  return -static_cast<std::int64_t>(magnitude);
}

// Negative integers (and -0): `-0x`, `-0o`, `-0b` prefixes, or a signed decimal.
std::optional<std::int64_t> parse_negative(std::string_view text) {
  for (const RadixPrefix& p : kPrefixes) {
    if (text.size() > 1 && text.front() == '-' && text.substr(1).starts_with(p.prefix)) {
      if (auto magnitude = parse_digits(text.substr(3), p.radix, kMaxMagnitudeNegative))
        return negate(*magnitude);
    }
  }
  if (digits_but_not_number(text)) return std::nullopt;
  bool negative = false;
  if (starts_with_sign(text)) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::uint64_t limit = negative
                            ? kMaxMagnitudeNegative
                            : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  auto magnitude = parse_digits(text, 10, limit);
  if (!magnitude) return std::nullopt;
  return negative ? negate(*magnitude) : std::optional<std::int64_t>(*magnitude);
}

// Decimal floating-point syntax: sign, digits with an optional point (at least one digit),
// optional exponent. Returns the position of the exponent's 'e' (or the end).
std::optional<std::size_t> float_syntax(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  std::size_t exponent_at = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return exponent_at;
}

// Whether a syntactically valid decimal that does not fit a double is too large (rather
// than too small): the power of ten of its leading digit decides.
bool overflows(std::string_view text, std::size_t exponent_at) {
  std::string_view mantissa = text.substr(0, exponent_at);
  if (starts_with_sign(mantissa)) mantissa.remove_prefix(1);
  std::int64_t exponent = 0;
  if (exponent_at < text.size()) {
    std::string_view digits = text.substr(exponent_at + 1);
    bool negative = !digits.empty() && digits.front() == '-';
    if (starts_with_sign(digits)) digits.remove_prefix(1);
    for (char c : digits) exponent = std::min<std::int64_t>(exponent * 10 + (c - '0'), 1 << 30);
    if (negative) exponent = -exponent;
  }
  std::int64_t integer_digits = static_cast<std::int64_t>(mantissa.find('.'));
  if (integer_digits < 0) integer_digits = static_cast<std::int64_t>(mantissa.size());
  std::int64_t position = 0;  // digits seen before the first non-zero one
  for (char c : mantissa) {
    if (c == '.') continue;
    if (c != '0') break;
    ++position;
  }
  return integer_digits - position + exponent > 0;
}

std::optional<double> parse_decimal(std::string_view text) {
  std::optional<std::size_t> exponent_at = float_syntax(text);
  if (!exponent_at) return std::nullopt;
  std::string_view number = text;
  if (number.front() == '+') number.remove_prefix(1);  // from_chars takes no plus sign
  double value = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (overflows(text, *exponent_at)) return std::nullopt;
    return text.front() == '-' ? -0.0 : 0.0;
  }
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

bool is_null_text(std::string_view text) {
  return text.empty() || text == "~" || text == "null" || text == "Null" || text == "NULL";
}

std::optional<bool> parse_bool(std::string_view text) {
  if (text == "true" || text == "True" || text == "TRUE") return true;
  if (text == "false" || text == "False" || text == "FALSE") return false;
  return std::nullopt;
}

std::optional<std::uint64_t> parse_unsigned(std::string_view text) {
  std::string_view unsigned_text = text;
  if (!unsigned_text.empty() && unsigned_text.front() == '+') {
    unsigned_text.remove_prefix(1);
    if (starts_with_sign(unsigned_text)) return std::nullopt;
  }
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (const RadixPrefix& p : kPrefixes) {
    if (unsigned_text.starts_with(p.prefix)) {
      std::string_view digits = unsigned_text.substr(2);
      if (starts_with_sign(digits)) return std::nullopt;
      if (auto value = parse_digits(digits, p.radix, kMax)) return value;
    }
  }
  if (starts_with_sign(unsigned_text)) return std::nullopt;
  if (digits_but_not_number(text)) return std::nullopt;
  return parse_digits(unsigned_text, 10, kMax);
}

std::optional<YamlValue> parse_integer(std::string_view text) {
  YamlValue value;
  if (std::optional<std::uint64_t> u = parse_unsigned(text)) {
    if (*u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      value.kind = YamlValue::Kind::Int;
      value.int_value = static_cast<std::int64_t>(*u);
    } else {
      value.kind = YamlValue::Kind::UInt;
      value.uint_value = *u;
    }
    return value;
  }
  if (std::optional<std::int64_t> i = parse_negative(text)) {
    value.kind = YamlValue::Kind::Int;
    value.int_value = *i;
    return value;
  }
  return std::nullopt;
}

std::optional<double> parse_float(std::string_view text) {
  if (digits_but_not_number(text)) return std::nullopt;
  std::string_view unsigned_text = text;
  if (!unsigned_text.empty() && unsigned_text.front() == '+') {
    unsigned_text.remove_prefix(1);
    if (starts_with_sign(unsigned_text)) return std::nullopt;
  }
  if (unsigned_text == ".inf" || unsigned_text == ".Inf" || unsigned_text == ".INF")
    return std::numeric_limits<double>::infinity();
  if (text == "-.inf" || text == "-.Inf" || text == "-.INF")
    return -std::numeric_limits<double>::infinity();
  if (text == ".nan" || text == ".NaN" || text == ".NAN")
    return std::numeric_limits<double>::quiet_NaN();
  return parse_decimal(text);
}

std::string format_float(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // The shortest round-trip digits come from the scientific form d.ddde±x; lay them out
  // positionally.
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific);
  (void)error;  // 64 bytes always hold a double in scientific form
  std::string_view scientific(buffer, static_cast<std::size_t>(end - buffer));
  std::size_t e = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, e))
    if (c != '.') digits.push_back(c);
  int exponent = 0;
  std::from_chars(scientific.data() + e + (scientific[e + 1] == '+' ? 2 : 1), end, exponent);

  std::string out = std::signbit(value) ? "-" : "";
  int count = static_cast<int>(digits.size());
  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  } else if (exponent + 1 >= count) {
    out += digits;
    out.append(static_cast<std::size_t>(exponent + 1 - count), '0');
    out += ".0";
  } else {
    out += digits.substr(0, static_cast<std::size_t>(exponent + 1));
    out += '.';
    out += digits.substr(static_cast<std::size_t>(exponent + 1));
  }
  return out;
}

namespace {

YamlValue text_value(const std::string& text) {
  YamlValue value;
  value.kind = YamlValue::Kind::String;
  value.text = text;
  return value;
}

YamlValue null_value() { return YamlValue{}; }

YamlValue bool_value(bool b) {
  YamlValue value;
  value.kind = YamlValue::Kind::Bool;
  value.boolean = b;
  return value;
}

YamlValue float_value(double d) {
  YamlValue value;
  value.kind = YamlValue::Kind::Float;
  value.float_value = d;
  return value;
}

std::string invalid_value(std::string_view text, std::string_view expected) {
  return "invalid value: string " + debug_quote(text) + ", expected " + std::string(expected);
}

YamlValue type_plain(const std::string& text) {
  if (is_null_text(text)) return null_value();
  if (std::optional<bool> b = parse_bool(text)) return bool_value(*b);
  if (std::optional<YamlValue> integer = parse_integer(text)) return *integer;
  if (std::optional<double> d = parse_float(text)) return float_value(*d);
  return text_value(text);
}

}  // namespace

std::optional<YamlValue> type_scalar(const YamlEvent& scalar, std::string& fault) {
  const std::string& text = scalar.value;
  const std::string& tag = scalar.tag;
  if (tag == kBoolTag) {
    if (std::optional<bool> b = parse_bool(text)) return bool_value(*b);
    fault = invalid_value(text, "a boolean");
    return std::nullopt;
  }
  if (tag == kIntTag) {
    if (std::optional<YamlValue> integer = parse_integer(text)) return integer;
    fault = invalid_value(text, "an integer");
    return std::nullopt;
  }
  if (tag == kFloatTag) {
    if (std::optional<double> d = parse_float(text)) return float_value(*d);
    fault = invalid_value(text, "a float");
    return std::nullopt;
  }
  if (tag == kNullTag) {
    if (is_null_text(text)) return null_value();
    fault = invalid_value(text, "null");
    return std::nullopt;
  }
  // Any other tag that is not local (`!!str` included) leaves the text as it is.
  bool untagged = tag.empty() || is_local_tag(tag);
  if (untagged && scalar.style == ScalarStyle::Plain) return type_plain(text);
  return text_value(text);
}

std::string describe_value(const YamlValue& value) {
  switch (value.kind) {
    case YamlValue::Kind::Null:
      return "unit value";
    case YamlValue::Kind::Bool:
      return value.boolean ? "boolean `true`" : "boolean `false`";
    case YamlValue::Kind::Int:
      return "integer `" + std::to_string(value.int_value) + "`";
    case YamlValue::Kind::UInt:
      return "integer `" + std::to_string(value.uint_value) + "`";
    case YamlValue::Kind::Float:
      return "floating point `" + format_float(value.float_value) + "`";
    case YamlValue::Kind::String:
      return "string " + debug_quote(value.text);
    case YamlValue::Kind::Sequence:
      return "sequence";
    case YamlValue::Kind::Mapping:
      return "map";
    case YamlValue::Kind::Tagged:
      return "enum";
  }
  return "enum";
}

std::string invalid_type(std::string_view found, std::string_view expected) {
  return "invalid type: " + std::string(found) + ", expected " + std::string(expected);
}

std::string invalid_type(const YamlEvent& node, std::string_view expected) {
  if (node.type == YamlEventType::SequenceStart) return invalid_type("sequence", expected);
  if (node.type == YamlEventType::MappingStart) return invalid_type("map", expected);
  std::string fault;
  std::optional<YamlValue> value = type_scalar(node, fault);
  if (!value) return fault;
  return invalid_type(describe_value(*value), expected);
}

}  // namespace mobrel::detail
