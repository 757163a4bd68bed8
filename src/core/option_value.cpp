#include "option_value.hpp"

#include <charconv>
#include <cmath>

namespace brenk {

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
    const int point = exponent + 1;  // digits before the decimal point
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

bool option_value_text(const OptionValue& value, Sink& sink)
{
    switch (kind_of(value)) {
    case OptionKind::Bool: return sink.write(std::get<bool>(value.v) ? "true" : "false");
    case OptionKind::Int: {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, std::get<std::int64_t>(value.v));
        return sink.write(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
    }
    case OptionKind::Float: {
        std::string text;
        append_float_text(text, std::get<double>(value.v));
        return sink.write(text);
    }
    case OptionKind::Str: return sink.write(std::get<std::string>(value.v));
    case OptionKind::Version: return sink.write(std::get<Version>(value.v).text());
    }
    return true;
}

}  // namespace brenk
