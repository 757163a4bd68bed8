#pragma once
// Reading a packed option value in place: no unpacking into an OptionValue, no allocation.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "enums.hpp"
#include "option_value.hpp"
#include "packed.hpp"

namespace brenk::core::packed {

/// The value packed at `at` (see put_value), read field by field.
struct ValueView {
    const char* at;

    OptionKind kind() const noexcept { return option_kind_at(at); }
    bool as_bool() const noexcept { return at[1] != 0; }
    std::int64_t as_int() const noexcept
    {
        const char* p = at + 1;
        const std::uint64_t v = get_varint(p);
        return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
    }
    double as_float() const noexcept
    {
        double d;
        std::memcpy(&d, at + 1, sizeof d);
        return d;
    }
    /// A Str's text, or a Version's text form.
    std::string_view as_text() const noexcept
    {
        const char* p = at + 1;
        return get_text(p);
    }
};

} // namespace brenk::core::packed
