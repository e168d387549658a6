// Equality of generic YAML values as mapping keys, and an index that finds a repeated key
// in time linear in the size of the keys.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

#include "mobrel/policy/types.h"

namespace mobrel::detail {

// Structural equality. Mappings compare as sets of entries (YAML mappings are unordered),
// not-a-number equals itself (so that it can be found as a key at all), and an integer
// never equals a floating-point number.
bool same_yaml_value(const YamlValue& a, const YamlValue& b);
std::size_t hash_yaml_value(const YamlValue& value);

// The keys of one mapping, as positions in that mapping's item list.
class YamlKeyIndex {
 public:
  // Adds the key at `position` of `items` (key, value, key, value, ...) unless an equal key
  // is already there; returns whether it was added.
  bool insert(const std::vector<YamlValue>& items, std::size_t position);

 private:
  std::unordered_multimap<std::size_t, std::size_t> positions_by_hash_;
};

// "duplicate entry with key ..." naming a repeated key.
std::string duplicate_entry_message(const YamlValue& key);

}  // namespace mobrel::detail
