#include "mobrel/policy/registry.h"

#include <gtest/gtest.h>

namespace mobrel {
namespace {

TEST(RiskNameTest, NamesEveryLevel) {
  EXPECT_EQ(risk_name(RiskLevel::Low), "low");
  EXPECT_EQ(risk_name(RiskLevel::Medium), "medium");
  EXPECT_EQ(risk_name(RiskLevel::High), "high");
  EXPECT_EQ(risk_name(RiskLevel::Critical), "critical");
  EXPECT_EQ(risk_name(static_cast<RiskLevel>(4)), "");
}

TEST(ToolRegistryTest, UnknownNameGivesMediumWithoutCategoryAndAddsNothing) {
  ToolRegistry registry;
  ToolEntry entry = registry.get("shell");
  EXPECT_EQ(entry.risk, RiskLevel::Medium);
  EXPECT_FALSE(entry.category.has_value());
  EXPECT_FALSE(registry.contains("shell"));
  EXPECT_EQ(registry.size(), 0u);
}

TEST(ToolRegistryTest, ReRegistrationReplacesTheWholeEntry) {
  ToolRegistry registry;
  registry.insert("shell", ToolEntry{RiskLevel::High, "exec"});
  registry.insert("shell", ToolEntry{RiskLevel::Low, std::nullopt});
  ToolEntry entry = registry.get("shell");
  EXPECT_EQ(entry.risk, RiskLevel::Low);
  EXPECT_FALSE(entry.category.has_value());
  EXPECT_EQ(registry.size(), 1u);
}

TEST(ToolRegistryTest, NamesAreExactBytes) {
  ToolRegistry registry;
  registry.insert("Shell", ToolEntry{RiskLevel::Critical, "exec"});
  EXPECT_TRUE(registry.contains("Shell"));
  EXPECT_FALSE(registry.contains("shell"));
  EXPECT_FALSE(registry.contains("Shell "));
  EXPECT_EQ(registry.get("shell").risk, RiskLevel::Medium);

  // The empty name is a name like any other.
  EXPECT_FALSE(registry.contains(""));
  registry.insert("", ToolEntry{RiskLevel::Low, std::nullopt});
  EXPECT_TRUE(registry.contains(""));
}

TEST(ToolRegistryTest, GetReturnsAnIndependentCopy) {
  ToolRegistry registry;
  registry.insert("fetch", ToolEntry{RiskLevel::Medium, "network_outbound"});
  ToolEntry copy = registry.get("fetch");
  copy.risk = RiskLevel::Critical;
  copy.category->assign("changed");
  ToolEntry again = registry.get("fetch");
  EXPECT_EQ(again.risk, RiskLevel::Medium);
  EXPECT_EQ(again.category, "network_outbound");
}

}  // namespace
}  // namespace mobrel
