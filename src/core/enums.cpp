#include "enums.hpp"

#include <iterator>

namespace brenk::core {
namespace {

template <class Enum, int N> const char* lookup(const char* const (&table)[N], Enum value) noexcept
{
    return table[static_cast<int>(value)];
}

constexpr const char* operator_texts[cmp_type_count] = {"<", "<=", "!=", "==", ">=", ">"};
constexpr const char* cmp_type_names[cmp_type_count] = {"Less",  "LessOrEqual",    "NotEqual",
                                                        "Equal", "GreaterOrEqual", "Greater"};
constexpr const char* value_kind_names[] = {"Unknown", "Bool", "Int", "Float", "Str", "Version"};
constexpr const char* wildcard_names[] = {"Single", "Rest"};
constexpr const char* version_error_names[] = {"TrailingSeparator", "InvalidPart", "EmptyPart", "PartAfterRest",
                                               "TooLong"};

constexpr ValueKind value_kind_by_option_kind[] = {ValueKind::Bool, ValueKind::Int, ValueKind::Float, ValueKind::Str,
                                                   ValueKind::Version};

static_assert(static_cast<int>(OptionKind::Version) + 1 == std::size(value_kind_by_option_kind));
static_assert(static_cast<int>(ValueKind::Version) + 1 == std::size(value_kind_names));
static_assert(static_cast<int>(WildcardKind::Rest) + 1 == std::size(wildcard_names));
static_assert(static_cast<int>(VersionErrorKind::TooLong) + 1 == std::size(version_error_names));

} // namespace

const char* operator_text(CmpType op) noexcept
{
    return lookup(operator_texts, op);
}
const char* cmp_type_name(CmpType op) noexcept
{
    return lookup(cmp_type_names, op);
}
const char* value_kind_name(ValueKind kind) noexcept
{
    return lookup(value_kind_names, kind);
}
const char* wildcard_name(WildcardKind kind) noexcept
{
    return lookup(wildcard_names, kind);
}
const char* version_error_name(VersionErrorKind kind) noexcept
{
    return lookup(version_error_names, kind);
}

ValueKind value_kind_of(OptionKind kind) noexcept
{
    return value_kind_by_option_kind[static_cast<int>(kind)];
}

} // namespace brenk::core
