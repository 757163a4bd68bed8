#pragma once
// Byte packing for values stored inside a node's or record's own block: unsigned LEB128
// integers (short lengths take one or two bytes) and length-prefixed texts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

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

} // namespace brenk::core::packed
