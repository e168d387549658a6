// Reading a policy document's root node into rules, by the policy model's reading rules.
#pragma once

#include <vector>

#include "mobrel/policy/types.h"
#include "policy/yaml_reader.h"

namespace mobrel::detail {

// Reads the document's root node as a policy document. False at the first fault, which
// `reader` then holds.
bool read_policy_document(NodeReader& reader, std::vector<PolicyRule>& rules);

}  // namespace mobrel::detail
