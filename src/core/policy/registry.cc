#include "mobrel/policy/registry.h"

#include <utility>

namespace mobrel {

std::string_view risk_name(RiskLevel level) {
  switch (level) {
    case RiskLevel::Low:
      return "low";
    case RiskLevel::Medium:
      return "medium";
    case RiskLevel::High:
      return "high";
    case RiskLevel::Critical:
      return "critical";
  }
  // Only a value cast from outside the enumeration gets here; it has no name.
  return {};
}

void ToolRegistry::insert(std::string name, ToolEntry entry) {
  entries_.insert_or_assign(std::move(name), std::move(entry));
}

bool ToolRegistry::contains(std::string_view name) const {
  return entries_.find(name) != entries_.end();
}

ToolEntry ToolRegistry::get(std::string_view name) const {
  auto found = entries_.find(name);
  if (found == entries_.end()) return ToolEntry{};
  return found->second;
}

}  // namespace mobrel
