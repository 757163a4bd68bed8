#pragma once
// The record a package outline holds: built once, never changed.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "constraint.hpp"

namespace brenk {

/// Fields are released in declaration order: name, constraints, set_options, set_defaults.
struct OutlineRecord {
    std::string name;
    std::vector<Constraint> constraints;
    std::unordered_map<std::string, OptionValue> set_options;
    std::unordered_map<std::string, std::optional<OptionValue>> set_defaults;
};

}  // namespace brenk
