#include "option_value.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

#include "packed.hpp"

namespace brenk::core {

void append_float_text(std::string& out, double d)
{
    if (std::isnan(d)) {
        out += "NaN";
        return;
    }
    if (std::isinf(d)) {
        out += d < 0 ? "-inf" : "inf";
        return;
    }
    if (d == 0) {
        out += std::signbit(d) ? "-0" : "0";
        return;
    }
    // Shortest round-trip digits in scientific form: [-]D[.DDD]e(+|-)XX.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    const char* p = buf;
    if (*p == '-') {
        out += '-';
        ++p;
    }
    char digits[32];
    int n = 0;
    for (; p < r.ptr && *p != 'e'; ++p) {
        if (*p != '.') digits[n++] = *p;
    }
    // The exponent ends at r.ptr: to_chars writes no terminating NUL.
    const char* e = p + 1;
    if (e < r.ptr && *e == '+') ++e;
    int exponent = 0;
    std::from_chars(e, r.ptr, exponent);
    const int point = exponent + 1; // digits before the decimal point
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out.append(digits, static_cast<std::size_t>(n));
    }
    else if (point >= n) {
        out.append(digits, static_cast<std::size_t>(n));
        out.append(static_cast<std::size_t>(point - n), '0');
    }
    else {
        out.append(digits, static_cast<std::size_t>(point));
        out += '.';
        out.append(digits + point, static_cast<std::size_t>(n - point));
    }
}

namespace {

bool int_text(std::int64_t value, Sink& sink)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return sink.write(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

bool float_text(double value, Sink& sink)
{
    std::string text;
    append_float_text(text, value);
    return sink.write(text);
}

std::uint64_t zigzag(std::int64_t v) noexcept
{
    return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}

std::int64_t unzigzag(std::uint64_t v) noexcept
{
    return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

std::string_view text_payload(const OptionValue& value) noexcept
{
    if (kind_of(value) == OptionKind::Str) return std::get<std::string>(value.v);
    return std::get<Version>(value.v).text();
}

} // namespace

bool option_value_text(const OptionValue& value, Sink& sink)
{
    switch (kind_of(value)) {
    case OptionKind::Bool:
        return sink.write(std::get<bool>(value.v) ? "true" : "false");
    case OptionKind::Int:
        return int_text(std::get<std::int64_t>(value.v), sink);
    case OptionKind::Float:
        return float_text(std::get<double>(value.v), sink);
    case OptionKind::Str:
    case OptionKind::Version:
        return sink.write(text_payload(value));
    }
    return true;
}

namespace packed {

std::size_t value_size(const OptionValue& value) noexcept
{
    switch (kind_of(value)) {
    case OptionKind::Bool:
        return 2;
    case OptionKind::Int:
        return 1 + varint_size(zigzag(std::get<std::int64_t>(value.v)));
    case OptionKind::Float:
        return 1 + sizeof(double);
    case OptionKind::Str:
    case OptionKind::Version:
        return 1 + text_size(text_payload(value));
    }
    return 1;
}

char* put_value(char* out, const OptionValue& value) noexcept
{
    const OptionKind kind = kind_of(value);
    *out++ = static_cast<char>(kind);
    switch (kind) {
    case OptionKind::Bool:
        *out++ = std::get<bool>(value.v) ? 1 : 0;
        break;
    case OptionKind::Int:
        out = put_varint(out, zigzag(std::get<std::int64_t>(value.v)));
        break;
    case OptionKind::Float: {
        const double d = std::get<double>(value.v);
        std::memcpy(out, &d, sizeof d);
        out += sizeof d;
        break;
    }
    case OptionKind::Str:
    case OptionKind::Version:
        out = put_text(out, text_payload(value));
        break;
    }
    return out;
}

namespace {

double get_double(const char*& in) noexcept
{
    double d;
    std::memcpy(&d, in, sizeof d);
    in += sizeof d;
    return d;
}

} // namespace

OptionValue get_value(const char*& in)
{
    const OptionKind kind = option_kind_at(in++);
    switch (kind) {
    case OptionKind::Bool:
        return OptionValue{*in++ != 0};
    case OptionKind::Int:
        return OptionValue{unzigzag(get_varint(in))};
    case OptionKind::Float:
        return OptionValue{get_double(in)};
    case OptionKind::Str:
        return OptionValue{std::string(get_text(in))};
    case OptionKind::Version:
        return OptionValue{Version::from_text(get_text(in))};
    }
    return OptionValue{false};
}

void get_value_end(const char*& in) noexcept
{
    if (*in == no_value) {
        ++in;
        return;
    }
    switch (option_kind_at(in++)) {
    case OptionKind::Bool:
        ++in;
        break;
    case OptionKind::Int:
        get_varint(in);
        break;
    case OptionKind::Float:
        in += sizeof(double);
        break;
    case OptionKind::Str:
    case OptionKind::Version:
        get_text(in);
        break;
    }
}

bool value_text(const char* in, Sink& sink)
{
    const OptionKind kind = option_kind_at(in++);
    switch (kind) {
    case OptionKind::Bool:
        return sink.write(*in != 0 ? "true" : "false");
    case OptionKind::Int:
        return int_text(unzigzag(get_varint(in)), sink);
    case OptionKind::Float:
        return float_text(get_double(in), sink);
    case OptionKind::Str:
    case OptionKind::Version:
        return sink.write(get_text(in));
    }
    return true;
}

} // namespace packed

} // namespace brenk::core
