#pragma once
// The core's enumerations and their fixed texts, each table indexed by its enum.
#include <cstdint>

namespace brenk::core {

enum class ConstraintKind : std::uint8_t { Cmp, Depends, IfThen, Maximize, Minimize, NumOf, SpecOption, Value };
inline constexpr int constraint_kind_count = 8;

enum class CmpType : std::uint8_t { Less, LessOrEqual, NotEqual, Equal, GreaterOrEqual, Greater };
inline constexpr int cmp_type_count = 6;
/// "<", "<=", "!=", "==", ">=", ">".
const char* operator_text(CmpType op) noexcept;
/// "Less", "LessOrEqual", ...
const char* cmp_type_name(CmpType op) noexcept;

/// The alternatives of an option value, in variant order.
enum class OptionKind : std::uint8_t { Bool, Int, Float, Str, Version };

/// The type a constraint stands for in a comparison: an option's own kind, or Unknown for an
/// option reference, whose type is known only when the outline is solved.
enum class ValueKind : std::uint8_t { Unknown, Bool, Int, Float, Str, Version };
ValueKind value_kind_of(OptionKind kind) noexcept;
/// "Unknown", "Bool", ...
const char* value_kind_name(ValueKind kind) noexcept;

enum class PartKind : std::uint8_t { Int, Str, Wildcard, Sep };
enum class WildcardKind : std::uint8_t { Single, Rest };
/// "Single", "Rest".
const char* wildcard_name(WildcardKind kind) noexcept;

/// TooLong: a text of more than max_version_text bytes, which no version can hold.
enum class VersionErrorKind : std::uint8_t { TrailingSeparator, InvalidPart, EmptyPart, PartAfterRest, TooLong };
/// "TrailingSeparator", "InvalidPart", ...
const char* version_error_name(VersionErrorKind kind) noexcept;

} // namespace brenk::core
