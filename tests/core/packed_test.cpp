// Values packed into node and outline blocks read back exactly, at every length boundary.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "outline.hpp"
#include "render.hpp"

namespace brenk::core {
namespace {

OptionValue version_value(std::string_view text)
{
    return OptionValue{*parse_version(text)};
}

bool same(const OptionValue& a, const OptionValue& b)
{
    if (a.v.index() != b.v.index()) return false;
    switch (kind_of(a)) {
    case OptionKind::Bool:
        return std::get<bool>(a.v) == std::get<bool>(b.v);
    case OptionKind::Int:
        return std::get<std::int64_t>(a.v) == std::get<std::int64_t>(b.v);
    case OptionKind::Float: {
        const double x = std::get<double>(a.v), y = std::get<double>(b.v);
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case OptionKind::Str:
        return std::get<std::string>(a.v) == std::get<std::string>(b.v);
    case OptionKind::Version:
        return std::get<Version>(a.v).text() == std::get<Version>(b.v).text();
    }
    return false;
}

std::vector<OptionValue> values()
{
    std::vector<OptionValue> out = {
        OptionValue{true}, OptionValue{false}, OptionValue{-0.0}, OptionValue{1e300}, version_value("01.2-rc1+>"),
    };
    // Zigzag varints change length at +-64 and at the extremes.
    for (std::int64_t i :
         {std::int64_t{0}, std::int64_t{-1}, std::int64_t{63}, std::int64_t{-64}, std::int64_t{64}, std::int64_t{-65},
          std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}) {
        out.push_back(OptionValue{i});
    }
    // Length prefixes grow at 128 and 16384 bytes.
    for (std::size_t n : {0, 1, 127, 128, 16383, 16384}) out.push_back(OptionValue{std::string(n, 'x')});
    return out;
}

TEST(Packed, ValueNodesReadBackEveryKindAndLength)
{
    for (const OptionValue& v : values()) {
        const Constraint node = make_value(v);
        EXPECT_TRUE(same(node.as<ValueNode>().value(), v)) << constraint_string(node).substr(0, 40);
        EXPECT_EQ(node.as<ValueNode>().option_kind(), kind_of(v));
    }
}

TEST(Packed, TextsOfEveryLength)
{
    for (std::size_t n : {0, 10, 11, 127, 128, 16384}) {
        const std::string a(n, 'a'), b = std::string(n, 'b') + "\xc3\xa9";
        EXPECT_EQ(make_depends(a).as<DependsNode>().on(), a);
        const Constraint s = make_spec_option(a, b);
        EXPECT_EQ(s.as<SpecOptionNode>().package_name(), a);
        EXPECT_EQ(s.as<SpecOptionNode>().option_name(), b);
    }
}

TEST(Packed, NumOfCountsAroundTheInlineLimit)
{
    const Constraint item = make_depends("d");
    for (std::size_t n :
         {std::size_t{0}, std::size_t{inline_list_max}, std::size_t{inline_list_max} + 1, std::size_t{1000}}) {
        const Constraint list = make_num_of(std::vector<Constraint>(n, item));
        const auto of = list.as<NumOfNode>().of();
        ASSERT_EQ(of.size(), n);
        for (const Constraint& c : of) ASSERT_EQ(c.get(), item.get());
    }
    EXPECT_EQ(item.get()->refs.load(), 1u);
}

TEST(Packed, OutlineRecordKeepsEverything)
{
    const Constraint dep = make_depends("libfoo");
    OptionSettings options;
    const std::vector<OptionValue> all = values();
    for (std::size_t i = 0; i < all.size(); ++i) options.assign("option" + std::to_string(i), all[i], true);
    OptionDefaults defaults;
    defaults.assign("multi_arch", std::nullopt, true);
    defaults.assign(std::string(200, 's'), OptionValue{std::string("libs")}, true);
    // Past 254 constraints the record keeps them in the vector they came in.
    for (std::size_t count : {2, 255}) {
        const OutlineRecord record(std::string(300, 'n'), std::vector<Constraint>(count, dep), options, defaults);
        EXPECT_EQ(record.name(), std::string(300, 'n'));
        ASSERT_EQ(record.constraints().size(), count);
        EXPECT_EQ(record.constraints()[count - 1].get(), dep.get());
        EXPECT_EQ(dep.get()->refs.load(), count + 1);
        const auto packed_options = record.set_options();
        ASSERT_EQ(packed_options.size(), all.size());
        for (std::size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(packed_options[i].first, "option" + std::to_string(i));
            EXPECT_TRUE(same(packed_options[i].second, all[i])) << i;
        }
        const auto packed_defaults = record.set_defaults();
        ASSERT_EQ(packed_defaults.size(), 2u);
        EXPECT_EQ(packed_defaults[0].first, "multi_arch");
        EXPECT_FALSE(packed_defaults[0].second.has_value());
        EXPECT_EQ(packed_defaults[1].first, std::string(200, 's'));
        EXPECT_TRUE(same(*packed_defaults[1].second, OptionValue{std::string("libs")}));
        EXPECT_EQ(dep.get()->refs.load(), count + 1);
    }
    EXPECT_EQ(dep.get()->refs.load(), 1u);
}

TEST(Packed, RepeatedNamesKeepTheLastEntry)
{
    OptionSettings options;
    options.assign("a", OptionValue{std::int64_t{1}}, true);
    options.assign("b", OptionValue{std::string(200, 'x')}, true);
    options.assign("a", OptionValue{std::int64_t{3}}, false);
    options.finish();
    const auto entries = OutlineRecord("p", {}, options, OptionDefaults()).set_options();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "b");
    EXPECT_EQ(entries[1].first, "a");
    EXPECT_TRUE(same(entries[1].second, OptionValue{std::int64_t{3}}));
}

} // namespace
} // namespace brenk::core
