// The six built-in rules every engine starts with, read from their YAML texts.
#pragma once

#include <vector>

#include "mobrel/policy/types.h"

namespace mobrel {

std::vector<PolicyRule> default_rules();

}  // namespace mobrel
