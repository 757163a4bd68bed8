// The read API over core records: every field of every kind, name order, refusals, handles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/small_stack.hpp"
#include "brenk/json.hpp"
#include "brenk/read.hpp"
#include "core/version.hpp"
#include "host/access.hpp"

namespace brenk {
namespace {

using detail::Access;

core::Version version(std::string_view text)
{
    return *core::parse_version(text);
}

TEST(Read, EveryKindsFields)
{
    const core::Constraint tree = core::make_if_then(
        core::make_cmp(core::make_spec_option("zlib", "shared"), core::make_value(core::OptionValue{2.5}),
                       core::CmpType::GreaterOrEqual),
        core::make_num_of({core::make_maximize(core::make_depends("a")),
                           core::make_minimize(core::make_value(core::OptionValue{version("1.2-rc1")}))}));
    const ConstraintView root = Access::constraint(tree.get());
    ASSERT_EQ(root.kind(), ConstraintKind::IfThen);
    const ConstraintView cmp = root.cond();
    EXPECT_EQ(cmp.op(), CmpOp::GreaterOrEqual);
    EXPECT_STREQ(symbol_of(cmp.op()), ">=");
    EXPECT_EQ(cmp.lhs().package_name(), "zlib");
    EXPECT_EQ(cmp.lhs().option_name(), "shared");
    EXPECT_EQ(cmp.rhs().value().as_float(), 2.5);
    const ConstraintList of = root.then().of();
    ASSERT_EQ(of.size(), 2u);
    EXPECT_EQ(of[0].kind(), ConstraintKind::Maximize);
    EXPECT_EQ(of[0].item().on(), "a");
    const OptionValueView v = of[1].item().value();
    EXPECT_EQ(v.kind(), OptionKind::Version);
    EXPECT_EQ(v.as_version().text(), "1.2-rc1");
    EXPECT_THROW(cmp.on(), WrongKind);
    EXPECT_THROW(of[0].value(), WrongKind);
    EXPECT_THROW(v.as_str(), WrongKind);
    EXPECT_EQ(root.child_count(), 2u);
    EXPECT_EQ(root.child(1), root.then());
}

TEST(Read, VersionPartsMatchTheCore)
{
    for (const char* text : {"1.2.3", "1.02-rc1+b", "2.*", "3.>", "x", "1.4294967296.0", "0"}) {
        const core::Version v = version(text);
        const std::vector<core::VersionPart> expected = v.parts();
        const SharedVersion shared = Access::share(v);
        std::size_t i = 0;
        for (const VersionPart& p : shared.view()) {
            ASSERT_LT(i, expected.size()) << text;
            const core::VersionPart& e = expected[i++];
            EXPECT_EQ(static_cast<int>(p.kind), static_cast<int>(e.kind)) << text << " part " << i;
            if (p.kind == PartKind::Int) {
                EXPECT_EQ(p.number, e.number);
            }
            if (p.kind == PartKind::Sep) {
                EXPECT_EQ(p.sep, e.sep);
            }
            if (p.kind == PartKind::Str) {
                EXPECT_EQ(p.text, v.str_of(e));
            }
            if (p.kind == PartKind::Wildcard) {
                EXPECT_EQ(static_cast<int>(p.wildcard), static_cast<int>(e.wildcard));
            }
        }
        EXPECT_EQ(i, expected.size()) << text;
    }
}

TEST(Read, MapsInNameOrderEachNameOnce)
{
    core::OptionSettings options;
    for (const char* name : {"m", "b", "z", "a", "b"}) {
        options.assign(name, core::OptionValue{std::string(name)}, false);
    }
    options.finish();
    core::OptionDefaults defaults;
    defaults.assign("d", std::nullopt, true);
    defaults.assign("c", core::OptionValue{std::int64_t{-7}}, true);
    const core::OutlineRecord record("pkg", {}, options, defaults);
    const OutlineView outline = Access::outline(record);
    std::string names;
    for (const OptionEntry& e : outline.set_options())
        names += std::string(e.name) + "=" + std::string(e.value.as_str()) + ";";
    EXPECT_EQ(names, "a=a;b=b;m=m;z=z;");
    EXPECT_EQ(outline.set_options().find("m")->value.as_str(), "m");
    EXPECT_FALSE(outline.set_options().find("c"));
    std::vector<std::string> defaults_seen;
    for (const DefaultEntry& e : outline.set_defaults()) defaults_seen.emplace_back(e.name);
    EXPECT_EQ(defaults_seen, (std::vector<std::string>{"c", "d"}));
    EXPECT_FALSE(outline.set_defaults().find("d")->value.has_value());
    EXPECT_EQ(outline.set_defaults().find("c")->value->as_int(), -7);
}

TEST(Read, SharedConstraintKeepsTheNodeAlive)
{
    core::Constraint node = core::make_depends("kept");
    const core::Node* raw = node.get();
    std::optional<SharedConstraint> shared;
    shared.emplace(Access::share(node));
    EXPECT_EQ(raw->refs.load(), 2u);
    node.reset();
    SharedConstraint copy = *shared;
    shared.reset();
    EXPECT_EQ(copy.view().on(), "kept");
    EXPECT_EQ(raw->refs.load(), 1u);
}

struct Counter final : Visitor {
    std::size_t nodes = 0, deepest = 0, left = 0;
    Step enter(ConstraintView node, std::size_t depth) override
    {
        ++nodes;
        deepest = std::max(deepest, depth);
        return node.kind() == ConstraintKind::Cmp ? Step::over : Step::into;
    }
    void leave(ConstraintView, std::size_t) override { ++left; }
};

TEST(Read, WalkAMillionDeepTreeOnASmallStack)
{
    constexpr std::size_t depth = 1000000;
    core::Constraint tree = core::make_cmp(core::make_depends("a"), core::make_depends("b"), core::CmpType::Equal);
    for (std::size_t i = 0; i < depth; ++i) tree = core::make_maximize(std::move(tree));
    struct Run {
        ConstraintView root;
        Counter counter;
        std::size_t json_size = 0;
    } run{Access::constraint(tree.get()), {}};
    auto body = [&run] {
        walk(run.root, run.counter);
        std::string out;
        write_json(run.root, out);
        run.json_size = out.size();
    };
    ASSERT_TRUE(testing::on_small_stack(body));
    EXPECT_EQ(run.counter.nodes, depth + 1); // the Cmp's children are passed over
    EXPECT_EQ(run.counter.left, depth + 1);
    EXPECT_EQ(run.counter.deepest, depth);
    EXPECT_GT(run.json_size, depth * 20);
}

TEST(Read, WalkStopsWhenAsked)
{
    const core::Constraint tree = core::make_num_of({core::make_depends("a"), core::make_depends("b")});
    std::vector<std::string> seen;
    const bool finished = walk(Access::constraint(tree.get()), [&](ConstraintView node, std::size_t) {
        if (node.kind() != ConstraintKind::Depends) return Step::into;
        seen.emplace_back(node.on());
        return Step::stop;
    });
    EXPECT_FALSE(finished);
    EXPECT_EQ(seen, std::vector<std::string>{"a"});
}

} // namespace
} // namespace brenk
