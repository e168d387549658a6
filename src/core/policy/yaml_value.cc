#include "policy/yaml_value.h"

#include <cmath>
#include <functional>

#include "policy/debug_string.h"
#include "policy/yaml_scalar.h"

namespace mobrel::detail {
namespace {

std::size_t mix(std::size_t seed, std::size_t value) {
  return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

bool same_float(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Both mappings hold each key once (the reader rejects repeats), so they are equal when
// they have as many entries and every entry of `a` has an equal entry in `b`.
bool same_mapping(const YamlValue& a, const YamlValue& b) {
  if (a.items.size() != b.items.size()) return false;
  std::unordered_multimap<std::size_t, std::size_t> keys_of_b;
  for (std::size_t i = 0; i + 1 < b.items.size(); i += 2)
    keys_of_b.emplace(hash_yaml_value(b.items[i]), i);
  for (std::size_t i = 0; i + 1 < a.items.size(); i += 2) {
    auto [first, last] = keys_of_b.equal_range(hash_yaml_value(a.items[i]));
    bool found = false;
    for (auto it = first; it != last && !found; ++it) {
      const std::size_t j = it->second;
      found = same_yaml_value(a.items[i], b.items[j]) &&
              same_yaml_value(a.items[i + 1], b.items[j + 1]);
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace

bool same_yaml_value(const YamlValue& a, const YamlValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case YamlValue::Kind::Null:
      return true;
    case YamlValue::Kind::Bool:
      return a.boolean == b.boolean;
    case YamlValue::Kind::Int:
      return a.int_value == b.int_value;
    case YamlValue::Kind::UInt:
      return a.uint_value == b.uint_value;
    case YamlValue::Kind::Float:
      return same_float(a.float_value, b.float_value);
    case YamlValue::Kind::String:
      return a.text == b.text;
    case YamlValue::Kind::Mapping:
      return same_mapping(a, b);
    case YamlValue::Kind::Tagged:
      if (a.text != b.text) return false;
      [[fallthrough]];
    case YamlValue::Kind::Sequence:
      if (a.items.size() != b.items.size()) return false;
      for (std::size_t i = 0; i < a.items.size(); ++i)
        if (!same_yaml_value(a.items[i], b.items[i])) return false;
      return true;
  }
  return false;
}

std::size_t hash_yaml_value(const YamlValue& value) {
  std::size_t seed = static_cast<std::size_t>(value.kind);
  switch (value.kind) {
    case YamlValue::Kind::Null:
      return seed;
    case YamlValue::Kind::Bool:
      return mix(seed, value.boolean);
    case YamlValue::Kind::Int:
      return mix(seed, std::hash<std::int64_t>{}(value.int_value));
    case YamlValue::Kind::UInt:
      return mix(seed, std::hash<std::uint64_t>{}(value.uint_value));
    case YamlValue::Kind::Float:
      // Every NaN hashes alike, and 0.0 like -0.0, as they compare equal.
      if (std::isnan(value.float_value)) return mix(seed, 1);
      return mix(seed, std::hash<double>{}(value.float_value == 0 ? 0.0 : value.float_value));
    case YamlValue::Kind::String:
      return mix(seed, std::hash<std::string>{}(value.text));
    case YamlValue::Kind::Mapping: {
      // Order-independent: the sum of the entries' hashes.
      std::size_t sum = 0;
      for (std::size_t i = 0; i + 1 < value.items.size(); i += 2)
        sum += mix(hash_yaml_value(value.items[i]), hash_yaml_value(value.items[i + 1]));
      return mix(seed, sum);
    }
    case YamlValue::Kind::Tagged:
      seed = mix(seed, std::hash<std::string>{}(value.text));
      [[fallthrough]];
    case YamlValue::Kind::Sequence:
      for (const YamlValue& item : value.items) seed = mix(seed, hash_yaml_value(item));
      return seed;
  }
  return seed;
}

bool YamlKeyIndex::insert(const std::vector<YamlValue>& items, std::size_t position) {
  const std::size_t hash = hash_yaml_value(items[position]);
  auto [first, last] = positions_by_hash_.equal_range(hash);
  for (auto it = first; it != last; ++it)
    if (same_yaml_value(items[it->second], items[position])) return false;
  positions_by_hash_.emplace(hash, position);
  return true;
}

std::string duplicate_entry_message(const YamlValue& key) {
  std::string message = "duplicate entry ";
  switch (key.kind) {
    case YamlValue::Kind::Null:
      return message + "with null key";
    case YamlValue::Kind::Bool:
      return message + (key.boolean ? "with key `true`" : "with key `false`");
    case YamlValue::Kind::Int:
      return message + "with key " + std::to_string(key.int_value);
    case YamlValue::Kind::UInt:
      return message + "with key " + std::to_string(key.uint_value);
    case YamlValue::Kind::Float:
      return message + "with key " + format_float(key.float_value);
    case YamlValue::Kind::String:
      return message + "with key " + debug_quote(key.text);
    default:
      return message + "in YAML map";
  }
}

}  // namespace mobrel::detail
