#pragma once
// The type check applied to comparisons built by operators.
#include <cstdint>
#include <optional>
#include <string>

#include "constraint.hpp"
#include "enums.hpp"

namespace brenk::core {

/// The type a constraint stands for; IfThen, Maximize and Minimize have none.
std::optional<ValueKind> comparison_kind(const Constraint& c) noexcept;

/// Accepts lhs `op` rhs and returns the Cmp node, or returns nothing and sets `message`
/// to the refusal text, each side's rendering cut at message_text_cap.
std::optional<Constraint> check_comparison(Constraint lhs, Constraint rhs, CmpType op, std::string& message);

} // namespace brenk::core
