#pragma once
// Option values: what a package option can be set to, and their text form.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "enums.hpp"
#include "sink.hpp"
#include "version.hpp"

namespace brenk::core {

/// One option value. Alternatives are in the order Bool, Int, Float, Str, Version, so
/// index() is the variant number.
struct OptionValue {
    std::variant<bool, std::int64_t, double, std::string, Version> v;
};

inline OptionKind kind_of(const OptionValue& value) noexcept
{
    return static_cast<OptionKind>(value.v.index());
}

/// Appends the shortest round-trip decimal text of `d`, never in exponent notation:
/// 1.0 -> "1", 1e-7 -> "0.0000001", -0.0 -> "-0", NaN -> "NaN", inf -> "inf".
void append_float_text(std::string& out, double d);

/// Writes the text form of a value: true/false, decimal, float text, the text, the version.
bool option_value_text(const OptionValue& value, Sink& sink);

} // namespace brenk::core
