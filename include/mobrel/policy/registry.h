// The tools the host has declared, with their risk levels and categories.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace mobrel {

enum class RiskLevel : std::uint8_t { Low = 0, Medium = 1, High = 2, Critical = 3 };

// "low", "medium", "high" or "critical".
std::string_view risk_name(RiskLevel level);

struct ToolEntry {
  RiskLevel risk = RiskLevel::Medium;
  std::optional<std::string> category;
};

class ToolRegistry {
 public:
  // Stores the entry under the name, replacing any earlier entry of that name as a whole.
  void insert(std::string name, ToolEntry entry);
  bool contains(std::string_view name) const;
  // An independent copy of the entry; risk medium and no category for unknown names.
  ToolEntry get(std::string_view name) const;
  std::size_t size() const { return entries_.size(); }

 private:
  std::map<std::string, ToolEntry, std::less<>> entries_;
};

}  // namespace mobrel
