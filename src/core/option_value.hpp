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

/// Option values packed into a block of bytes: a kind byte, then the payload (Bool one byte,
/// Int a zigzag varint, Float 8 bytes, Str and Version a length-prefixed text, the version's
/// text form); an empty optional value is the single byte no_value. Packed values own
/// nothing, so freeing the block releases them.
namespace packed {
inline constexpr char no_value = '\xff';
std::size_t value_size(const OptionValue& value) noexcept;
char* put_value(char* out, const OptionValue& value) noexcept;
inline std::size_t value_size(const std::optional<OptionValue>& value) noexcept
{
    return value ? value_size(*value) : 1;
}
inline char* put_value(char* out, const std::optional<OptionValue>& value) noexcept
{
    if (value) return put_value(out, *value);
    *out = no_value;
    return out + 1;
}
/// Reads the value at `in` and advances `in` past it.
OptionValue get_value(const char*& in);
/// Advances `in` past the value (or no_value) packed there.
void get_value_end(const char*& in) noexcept;
/// The kind of the value packed at `in`.
inline OptionKind value_kind(const char* in) noexcept
{
    return static_cast<OptionKind>(*in);
}
/// option_value_text of the value packed at `in`, without unpacking it.
bool value_text(const char* in, Sink& sink);
} // namespace packed

} // namespace brenk::core
