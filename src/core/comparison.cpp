#include "comparison.hpp"
#include "render.hpp"

namespace brenk::core {
namespace {

void append_kind(std::string& out, std::optional<ValueKind> kind)
{
    if (!kind) {
        out += "None";
        return;
    }
    out += "Some(";
    out += value_kind_name(*kind);
    out += ')';
}

} // namespace

std::optional<ValueKind> comparison_kind(const Constraint& c) noexcept
{
    switch (c.kind()) {
    case ConstraintKind::Cmp:
    case ConstraintKind::Depends:
        return ValueKind::Bool;
    case ConstraintKind::NumOf:
        return ValueKind::Int;
    case ConstraintKind::SpecOption:
        return ValueKind::Unknown;
    case ConstraintKind::Value:
        return value_kind_of(c.as<ValueNode>().option_kind());
    case ConstraintKind::IfThen:
    case ConstraintKind::Maximize:
    case ConstraintKind::Minimize:
        break;
    }
    return std::nullopt;
}

Result<Constraint, std::string> check_comparison(Constraint lhs, Constraint rhs, CmpType op)
{
    const auto lhs_kind = comparison_kind(lhs);
    const auto rhs_kind = comparison_kind(rhs);
    bool accepted = rhs_kind && lhs_kind && *lhs_kind == *rhs_kind;
    if (accepted && *lhs_kind == ValueKind::Bool) accepted = op == CmpType::Equal || op == CmpType::NotEqual;
    if (accepted) return make_cmp(std::move(lhs), std::move(rhs), op);

    std::string message = "Cannot compare type ";
    append_kind(message, lhs_kind);
    message += " from constraint ";
    BoundedSink lhs_text(message);
    constraint_text(lhs, lhs_text);
    message += " with type ";
    append_kind(message, rhs_kind);
    message += " from constraint ";
    BoundedSink rhs_text(message);
    constraint_text(rhs, rhs_text);
    message += " using operator '";
    message += operator_text(op);
    message += '\'';
    return Refusal{std::move(message)};
}

} // namespace brenk::core
