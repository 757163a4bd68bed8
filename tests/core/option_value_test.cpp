// Text forms of option values, above all the shortest round-trip float text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "option_value.hpp"

namespace brenk::core {
namespace {

std::string float_text(double d)
{
    std::string out;
    append_float_text(out, d);
    return out;
}

std::string value_text(const OptionValue& value)
{
    std::string out;
    StringSink sink(out);
    EXPECT_TRUE(option_value_text(value, sink));
    return out;
}

std::uint64_t bits_of(double d)
{
    std::uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

/// A failure message that stays readable when a broken formatter produces a huge text.
std::string shown(const std::string& text)
{
    if (text.size() <= 120) return '"' + text + '"';
    return '"' + text.substr(0, 120) + "\"... (" + std::to_string(text.size()) + " chars)";
}

struct FloatCase {
    double value;
    std::string expected;
};

std::ostream& operator<<(std::ostream& os, const FloatCase& c)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", c.value);
    return os << buf;
}

class FloatText : public testing::TestWithParam<FloatCase> {};

TEST_P(FloatText, Exact)
{
    const std::string text = float_text(GetParam().value);
    EXPECT_TRUE(text == GetParam().expected) << shown(text);
}

const FloatCase float_cases[] = {
    {1.0, "1"},
    {0.1, "0.1"},
    {1e-7, "0.0000001"},
    {1e21, "1000000000000000000000"},
    {1e22, "10000000000000000000000"},
    {9223372036854775808.0, "9223372036854776000"},
    {-0.0, "-0"},
    {0.0, "0"},
    {std::numeric_limits<double>::quiet_NaN(), "NaN"},
    {-std::numeric_limits<double>::quiet_NaN(), "NaN"},
    {std::numeric_limits<double>::infinity(), "inf"},
    {-std::numeric_limits<double>::infinity(), "-inf"},
    {2.5, "2.5"},
    {-2.5, "-2.5"},
    {2.0, "2"},
    {-1.0, "-1"},
    {100.0, "100"},
    {123.456, "123.456"},
    {0.5, "0.5"},
    {1.5e-5, "0.000015"},
    {0.3, "0.3"},
    {0.1 + 0.2, "0.30000000000000004"},
    {1.0 / 3.0, "0.3333333333333333"},
    {9007199254740993.0, "9007199254740992"},
    {1e-300, "0." + std::string(299, '0') + "1"},
    {-1e-300, "-0." + std::string(299, '0') + "1"},
    {std::numeric_limits<double>::denorm_min(), "0." + std::string(323, '0') + "5"},
    {std::numeric_limits<double>::min(), "0." + std::string(307, '0') + "22250738585072014"},
    {std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0')},
    {-std::numeric_limits<double>::max(), "-17976931348623157" + std::string(292, '0')},
};
INSTANTIATE_TEST_SUITE_P(Table, FloatText, testing::ValuesIn(float_cases));

/// Leaves digit characters in the stack area that the next call will use.
__attribute__((noinline)) void scribble_stack()
{
    volatile char junk[4096];
    for (auto& c : junk) c = '7';
}

TEST(FloatTextStack, IgnoresStaleStackBytes)
{
    // The formatter must read only what it produced, whatever the stack held before.
    const std::pair<double, const char*> cases[] = {
        {0.1, "0.1"}, {1.0, "1"}, {2.5, "2.5"}, {1e21, "1000000000000000000000"}};
    for (const auto& [d, expected] : cases) {
        std::string out;
        scribble_stack();
        append_float_text(out, d);
        EXPECT_TRUE(out == expected) << shown(out) << " for " << expected;
    }
}

/// Number of significant digits in a plain decimal text ("-0.00120" -> 2, "1200" -> 2).
int significant_digits(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9') digits += c;
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos) return 0;
    const auto last = digits.find_last_not_of('0');
    return static_cast<int>(last - first + 1);
}

/// Fewest significant digits with which printf's correctly rounded output reads back as `d`.
int printf_round_trip_digits(double d)
{
    char buf[64];
    for (int precision = 0; precision < 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*e", precision, d);
        if (std::strtod(buf, nullptr) == d) return precision + 1;
    }
    return 17;
}

/// Checks the text of one finite double: plain notation, reads back bit for bit, not longer
/// than needed, and no fractional part on integral values.
void check_finite(double d)
{
    const std::string text = float_text(d);
    SCOPED_TRACE(shown(text));
    ASSERT_EQ(text.find_first_not_of("-0123456789."), std::string::npos);
    char* end = nullptr;
    const double back = std::strtod(text.c_str(), &end);
    ASSERT_EQ(end, text.c_str() + text.size());
    ASSERT_EQ(bits_of(back), bits_of(d));
    if (d != 0) {
        EXPECT_LE(significant_digits(text), printf_round_trip_digits(d));
    }
    const auto point = text.find('.');
    EXPECT_EQ(point == std::string::npos, std::trunc(d) == d);
    if (point != std::string::npos) {
        EXPECT_NE(text.back(), '0');
    }
}

TEST(FloatTextRoundTrip, RandomBitPatterns)
{
    std::mt19937_64 rng(20240611);
    int checked = 0;
    while (checked < 100000) {
        std::uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) continue;
        check_finite(d);
        if (HasFailure()) return; // one report is enough
        ++checked;
    }
}

TEST(FloatTextRoundTrip, RandomMagnitudes)
{
    // Values near every power of ten, where the decimal point moves between digits and zeros.
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    for (int exponent = -320; exponent <= 308; ++exponent) {
        for (int i = 0; i < 20; ++i) {
            const double d = mantissa(rng) * std::pow(10.0, exponent);
            if (!std::isfinite(d) || d == 0) continue;
            check_finite(d);
            check_finite(-d);
            check_finite(std::round(d));
            if (HasFailure()) return; // one report is enough
        }
    }
}

TEST(FloatTextRoundTrip, ShortDecimals)
{
    // Short decimals must come back as the same short text.
    std::mt19937_64 rng(11);
    for (int i = 0; i < 20000; ++i) {
        const long long digits = static_cast<long long>(rng() % 1000000);
        const int scale = static_cast<int>(rng() % 12);
        std::string text = std::to_string(digits);
        if (scale > 0) {
            if (static_cast<int>(text.size()) <= scale)
                text.insert(0, static_cast<std::size_t>(scale) - text.size() + 1, '0');
            text.insert(text.size() - static_cast<std::size_t>(scale), ".");
            while (text.back() == '0') text.pop_back();
            if (text.back() == '.') text.pop_back();
        }
        const std::string back = float_text(std::strtod(text.c_str(), nullptr));
        ASSERT_TRUE(back == text) << shown(back) << " for " << text;
    }
}

TEST(OptionValueText, EachKind)
{
    const auto version = parse_version("01.2.0-rc1");
    ASSERT_TRUE(version.has_value());
    const std::pair<OptionValue, std::string> cases[] = {
        {OptionValue{true}, "true"},
        {OptionValue{false}, "false"},
        {OptionValue{std::int64_t{0}}, "0"},
        {OptionValue{std::int64_t{5}}, "5"},
        {OptionValue{std::int64_t{-1}}, "-1"},
        {OptionValue{std::numeric_limits<std::int64_t>::max()}, "9223372036854775807"},
        {OptionValue{std::numeric_limits<std::int64_t>::min()}, "-9223372036854775808"},
        {OptionValue{1.0}, "1"},
        {OptionValue{2.5}, "2.5"},
        {OptionValue{-0.0}, "-0"},
        {OptionValue{std::string("5")}, "5"},
        {OptionValue{std::string()}, ""},
        {OptionValue{std::string("it's \"raw\"\n[ ]\\")}, "it's \"raw\"\n[ ]\\"},
        {OptionValue{std::string("caf\xc3\xa9\xcc\x81")}, "caf\xc3\xa9\xcc\x81"},
        {OptionValue{*version}, "1.2.0-rc1"},
    };
    for (const auto& [value, expected] : cases) {
        const std::string text = value_text(value);
        EXPECT_TRUE(text == expected) << shown(text) << " for " << expected;
    }
    EXPECT_EQ(kind_of(cases[0].first), OptionKind::Bool);
    EXPECT_EQ(kind_of(cases[2].first), OptionKind::Int);
    EXPECT_EQ(kind_of(cases[7].first), OptionKind::Float);
    EXPECT_EQ(kind_of(cases[10].first), OptionKind::Str);
    EXPECT_EQ(kind_of(cases[14].first), OptionKind::Version);
}

/// Refuses every write, recording how many were attempted.
class RefusingSink final : public Sink {
public:
    bool write(std::string_view) override
    {
        ++calls;
        return false;
    }
    int calls = 0;
};

TEST(OptionValueText, ReturnsTheSinkFailure)
{
    for (const OptionValue& value :
         {OptionValue{true}, OptionValue{std::int64_t{7}}, OptionValue{0.25}, OptionValue{std::string("s")}}) {
        RefusingSink sink;
        EXPECT_FALSE(option_value_text(value, sink));
        EXPECT_EQ(sink.calls, 1);
    }
}

} // namespace
} // namespace brenk::core
