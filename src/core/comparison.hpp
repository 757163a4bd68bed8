#pragma once
// The type check applied to comparisons built by operators.
#include <cstdint>
#include <optional>
#include <string>

#include "constraint.hpp"
#include "enums.hpp"
#include "result.hpp"

namespace brenk::core {

/// The type a constraint stands for; IfThen, Maximize and Minimize have none.
std::optional<ValueKind> comparison_kind(const Constraint& c) noexcept;

/// Accepts lhs `op` rhs and returns the Cmp node, or refuses it with the message users see,
/// each side's rendering cut at message_text_cap.
Result<Constraint, std::string> check_comparison(Constraint lhs, Constraint rhs, CmpType op);

} // namespace brenk::core
