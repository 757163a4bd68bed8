// The canonical JSON writer: number and text forms, name order, refusals, and depth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../support/small_stack.hpp"
#include "json.hpp"
#include "walk.hpp"

namespace brenk::core {
namespace {

std::string float_json(double d)
{
    std::string out;
    json::append_float(out, d);
    return out;
}

TEST(Json, FloatsAreShortestDigitsInReprLayout)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {1.0, "1.0"},
        {0.1, "0.1"},
        {-2.5, "-2.5"},
        {100.0, "100.0"},
        {1e16, "1e+16"},
        {1.5e16, "1.5e+16"},
        {9999999999999998.0, "9999999999999998.0"},
        {123456789012345680000.0, "1.2345678901234568e+20"},
        {1e-5, "1e-05"},
        {0.0001, "0.0001"},
        {0.00012345, "0.00012345"},
        {5e-324, "5e-324"},
        {1.7976931348623157e308, "1.7976931348623157e+308"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {std::numeric_limits<double>::quiet_NaN(), R"({"Float":"NaN"})"},
        {std::numeric_limits<double>::infinity(), R"({"Float":"Infinity"})"},
        {-std::numeric_limits<double>::infinity(), R"({"Float":"-Infinity"})"},
    };
    for (const auto& c : cases) EXPECT_EQ(float_json(c.value), c.text) << c.text;
}

TEST(Json, FloatTextReadsBackToTheSameBits)
{
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) continue;
        const std::string text = float_json(d);
        ASSERT_TRUE(text.find_first_of(".e") != std::string::npos) << text;
        const double back = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&back, &d, sizeof d), 0) << text;
    }
}

std::string value_json(const OptionValue& v)
{
    return json::constraint_string(make_value(v));
}

TEST(Json, TextsEscapeWhatRfc8259RequiresAndNothingElse)
{
    EXPECT_EQ(
        value_json(OptionValue{std::string("a\"b\\c\n\r\t\b\f\x01\x1f\x7f/\xc3\xa9\xf0\x9f\x98\x80")}),
        "{\"kind\":\"Value\",\"value\":\"a\\\"b\\\\c\\n\\r\\t\\b\\f\\u0001\\u001f\x7f/\xc3\xa9\xf0\x9f\x98\x80\"}");
    EXPECT_EQ(value_json(OptionValue{std::string("\0x", 2)}), R"({"kind":"Value","value":"\u0000x"})");
}

TEST(Json, InvalidUtf8IsRefused)
{
    for (const char* bad : {"\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82", "\x80", "\xff", "\xf8\x88"}) {
        std::string out;
        StringSink sink(out);
        json::Writer writer(sink);
        EXPECT_EQ(writer.constraint(make_depends(std::string("ok") + bad)), json::Status::invalid_text) << bad;
    }
}

TEST(Json, IntegersAreExact)
{
    EXPECT_EQ(value_json(OptionValue{std::numeric_limits<std::int64_t>::min()}),
              R"({"kind":"Value","value":-9223372036854775808})");
    EXPECT_EQ(value_json(OptionValue{std::numeric_limits<std::int64_t>::max()}),
              R"({"kind":"Value","value":9223372036854775807})");
}

TEST(Json, EveryKindInMemberNameOrder)
{
    const Constraint tree = make_if_then(
        make_cmp(make_spec_option("zlib", "shared"), make_value(OptionValue{true}), CmpType::NotEqual),
        make_num_of({make_maximize(make_depends("a")),
                     make_minimize(make_value(OptionValue{*parse_version("1.*")})), make_num_of({})}));
    EXPECT_EQ(json::constraint_string(tree),
              R"({"cond":{"kind":"Cmp","lhs":{"kind":"SpecOption","option_name":"shared","package_name":"zlib"},)"
              R"("op":"NotEqual","rhs":{"kind":"Value","value":true}},"kind":"IfThen","then":{"kind":"NumOf","of":[)"
              R"({"item":{"kind":"Depends","on":"a"},"kind":"Maximize"},)"
              R"({"item":{"kind":"Value","value":{"Version":"1.*"}},"kind":"Minimize"},{"kind":"NumOf","of":[]}]}})");
}

TEST(Json, OptionMapsInNameOrderWhateverTheInsertionOrder)
{
    OptionSettings options;
    options.assign("b", OptionValue{std::int64_t{1}}, true);
    options.assign("\xc3\xa9", OptionValue{2.0}, true);
    options.assign("a", OptionValue{std::string("x")}, true);
    options.assign("b", OptionValue{std::int64_t{3}}, false);
    options.finish();
    OptionDefaults defaults;
    defaults.assign("z", std::nullopt, true);
    defaults.assign("y", OptionValue{false}, true);
    const OutlineRecord record("pkg", {make_depends("d")}, options, defaults);
    EXPECT_EQ(json::outline_string(record),
              "{\"constraints\":[{\"kind\":\"Depends\",\"on\":\"d\"}],\"name\":\"pkg\",\"set_defaults\":{\"y\":false,"
              "\"z\":null},\"set_options\":{\"a\":\"x\",\"b\":3,\"\xc3\xa9\":2.0}}");
}

/// A sink that refuses every write after the first `room` bytes.
struct ShortSink final : Sink {
    std::size_t room;
    bool write(std::string_view piece) override
    {
        if (piece.size() > room) return false;
        room -= piece.size();
        return true;
    }
};

TEST(Json, ARefusingSinkStopsTheWriter)
{
    std::vector<Constraint> many(20000, make_depends("package"));
    const OutlineRecord record("p", std::move(many), OptionSettings(), OptionDefaults());
    ShortSink sink;
    sink.room = 100000;
    json::Writer writer(sink);
    EXPECT_EQ(writer.outline(record), json::Status::stopped);
}

TEST(Json, AMillionDeepTreeOnASmallStack)
{
    constexpr std::size_t depth = 1000000;
    Constraint tree = make_depends("leaf");
    for (std::size_t i = 0; i < depth; ++i) tree = i % 2 ? make_maximize(std::move(tree)) : make_num_of({tree});
    std::size_t length = 0, deepest = 0;
    bool written = false;
    auto body = [&] {
        written = !json::constraint_string(tree).empty();
        length = json::constraint_string(tree).size();
        walk(
            tree.get(),
            [&](const Node*, const Node*, std::size_t, std::size_t d) {
                deepest = std::max(deepest, d);
                return Step::into;
            },
            [](const Node*, std::size_t) {});
    };
    ASSERT_TRUE(testing::on_small_stack(body));
    EXPECT_TRUE(written);
    EXPECT_EQ(deepest, depth);
    const std::size_t leaf = std::string_view(R"({"kind":"Depends","on":"leaf"})").size();
    const std::size_t num_of = std::string_view(R"({"kind":"NumOf","of":[]})").size();
    const std::size_t maximize = std::string_view(R"({"item":,"kind":"Maximize"})").size();
    EXPECT_EQ(length, leaf + depth / 2 * (num_of + maximize));
}

} // namespace
} // namespace brenk::core
