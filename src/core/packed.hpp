#pragma once
// Byte packing for values stored inside a node's or record's own block: unsigned LEB128
// integers (short lengths take one or two bytes), length-prefixed texts and option values.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "option_value.hpp"
#include "sink.hpp"

namespace brenk::core::packed {

constexpr std::size_t varint_size(std::uint64_t v) noexcept
{
    std::size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

inline char* put_varint(char* out, std::uint64_t v) noexcept
{
    while (v >= 0x80) {
        *out++ = static_cast<char>(static_cast<std::uint8_t>(v) | 0x80);
        v >>= 7;
    }
    *out++ = static_cast<char>(v);
    return out;
}

/// Reads what put_varint wrote at `in` and advances `in` past it.
inline std::uint64_t get_varint(const char*& in) noexcept
{
    std::uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<std::uint8_t>(*in++);
        v |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return v;
    }
}

constexpr std::size_t text_size(std::string_view t) noexcept
{
    return varint_size(t.size()) + t.size();
}

inline char* put_text(char* out, std::string_view t) noexcept
{
    out = put_varint(out, t.size());
    if (!t.empty()) std::memcpy(out, t.data(), t.size());
    return out + t.size();
}

/// Reads what put_text wrote at `in` and advances `in` past it.
inline std::string_view get_text(const char*& in) noexcept
{
    const auto size = static_cast<std::size_t>(get_varint(in));
    const std::string_view t(in, size);
    in += size;
    return t;
}

/// Option values packed into a block of bytes: a kind byte, then the payload (Bool one byte,
/// Int a zigzag varint, Float 8 bytes, Str and Version a length-prefixed text, the version's
/// text form); an empty optional value is the single byte no_value. Packed values own
/// nothing, so freeing the block releases them.
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
inline OptionKind option_kind_at(const char* in) noexcept
{
    return static_cast<OptionKind>(*in);
}
/// option_value_text of the value packed at `in`, without unpacking it.
bool value_text(const char* in, Sink& sink);

} // namespace brenk::core::packed
