// The type check of comparisons: the decision table, the types of each kind and the messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comparison.hpp"
#include "render.hpp"

namespace brenk::core {
namespace {

Constraint val_version(std::string_view text)
{
    auto v = parse_version(text);
    if (!v) throw std::invalid_argument(v.error().render());
    return make_value(OptionValue{std::move(*v)});
}

/// One constraint of each shape, with the type it stands for and its rendering.
struct Sample {
    const char* type_text; // "None" or "Some(...)"
    std::function<Constraint()> make;
    const char* text;
};

std::vector<Sample> samples()
{
    return {
        {"Some(Bool)", [] { return make_value(OptionValue{true}); }, "true"},
        {"Some(Bool)", [] { return make_depends("x"); }, "Depends( x )"},
        {"Some(Bool)",
         [] {
             return make_cmp(make_value(OptionValue{std::int64_t{1}}), make_value(OptionValue{std::int64_t{2}}),
                             CmpType::Less);
         },
         "[ 1 ] < [ 2 ]"},
        {"Some(Int)", [] { return make_value(OptionValue{std::int64_t{3}}); }, "3"},
        {"Some(Int)", [] { return make_num_of({}); }, "NumOf(  )"},
        {"Some(Float)", [] { return make_value(OptionValue{1.0}); }, "1"},
        {"Some(Str)", [] { return make_value(OptionValue{std::string("1")}); }, "1"},
        {"Some(Version)", [] { return val_version("1.0"); }, "1.0"},
        {"Some(Unknown)", [] { return make_spec_option("p", "o"); }, "Package 'p' -> Option 'o'"},
        {"None", [] { return make_if_then(make_depends("a"), make_depends("b")); },
         "If( Depends( a ) ) Then [ Depends( b ) ]"},
        {"None", [] { return make_maximize(make_value(OptionValue{std::int64_t{1}})); }, "Maximize( 1 )"},
        {"None", [] { return make_minimize(make_num_of({})); }, "Minimize( NumOf(  ) )"},
    };
}

constexpr std::array<CmpType, cmp_type_count> all_ops = {CmpType::Less,  CmpType::LessOrEqual,    CmpType::NotEqual,
                                                         CmpType::Equal, CmpType::GreaterOrEqual, CmpType::Greater};

// The operators accepted between two value types, written out: one row per left type, one column
// per right type, "None" for a constraint without a value type. A cell lists its operators in
// CmpType order: <, <=, !=, ==, >=, >.
using Ops = std::array<bool, cmp_type_count>;
constexpr Ops every = {true, true, true, true, true, true};
constexpr Ops eq_ne = {false, false, true, true, false, false};
constexpr Ops never = {false, false, false, false, false, false};
constexpr std::array<std::string_view, 7> types = {"Some(Unknown)", "Some(Bool)",    "Some(Int)", "Some(Float)",
                                                   "Some(Str)",     "Some(Version)", "None"};
constexpr std::array<std::array<Ops, 7>, 7> accepted = {{
    // Unknown Bool Int Float Str Version None
    {every, never, never, never, never, never, never}, // Unknown
    {never, eq_ne, never, never, never, never, never}, // Bool
    {never, never, every, never, never, never, never}, // Int
    {never, never, never, every, never, never, never}, // Float
    {never, never, never, never, every, never, never}, // Str
    {never, never, never, never, never, every, never}, // Version
    {never, never, never, never, never, never, never}, // None
}};

/// The refusal's message, or "accepted".
std::string refusal(Constraint lhs, Constraint rhs, CmpType op)
{
    const auto result = check_comparison(std::move(lhs), std::move(rhs), op);
    return result ? "accepted" : result.error();
}

const Ops& table_row(const Sample& lhs, const Sample& rhs)
{
    const auto row = std::find(types.begin(), types.end(), lhs.type_text) - types.begin();
    const auto column = std::find(types.begin(), types.end(), rhs.type_text) - types.begin();
    return accepted.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
}

TEST(CheckComparison, DecisionTable)
{
    const auto all = samples();
    int accepted = 0, rejected = 0;
    for (const Sample& lhs : all) {
        for (const Sample& rhs : all) {
            const auto& row = table_row(lhs, rhs);
            for (std::size_t i = 0; i < all_ops.size(); ++i) {
                const CmpType op = all_ops[i];
                SCOPED_TRACE(std::string(lhs.text) + " " + operator_text(op) + " " + rhs.text);
                const Constraint l = lhs.make(), r = rhs.make();
                const auto result = check_comparison(l, r, op);
                ASSERT_EQ(result.has_value(), row[i]);
                if (result) {
                    ++accepted;
                    ASSERT_EQ(result->kind(), ConstraintKind::Cmp);
                    const auto& cmp = result->as<CmpNode>();
                    EXPECT_EQ(cmp.lhs.get(), l.get());
                    EXPECT_EQ(cmp.rhs.get(), r.get());
                    EXPECT_EQ(cmp.op, op);
                    EXPECT_EQ(l.get()->refs.load(), 2u);
                    continue;
                }
                ++rejected;
                EXPECT_EQ(result.error(), std::string("Cannot compare type ") + lhs.type_text + " from constraint " +
                                              lhs.text + " with type " + rhs.type_text + " from constraint " +
                                              rhs.text + " using operator '" + operator_text(op) + "'");
                // A refusal keeps nothing: both sides are back to one owner.
                EXPECT_EQ(l.get()->refs.load(), 1u);
                EXPECT_EQ(r.get()->refs.load(), 1u);
            }
        }
    }
    // 3 Bool samples pairwise with 2 operators, 2 Int pairwise, and one sample each of the rest.
    EXPECT_EQ(accepted, 9 * 2 + 4 * 6 + 4 * 6);
    EXPECT_EQ(rejected, 12 * 12 * 6 - accepted);
}

TEST(CheckComparison, ValueKinds)
{
    for (const Sample& s : samples()) {
        SCOPED_TRACE(s.text);
        const auto kind = comparison_kind(s.make());
        static constexpr const char* names[] = {"Unknown", "Bool", "Int", "Float", "Str", "Version"};
        const std::string text = kind ? std::string("Some(") + names[static_cast<int>(*kind)] + ")" : "None";
        EXPECT_EQ(text, s.type_text);
    }
}

TEST(CheckComparison, DocumentedMessages)
{
    EXPECT_EQ(refusal(make_spec_option("p", "o"), make_value(OptionValue{std::int64_t{3}}), CmpType::Less),
              "Cannot compare type Some(Unknown) from constraint Package 'p' -> Option 'o' with type Some(Int) "
              "from constraint 3 using operator '<'");
    EXPECT_EQ(refusal(make_depends("x"), make_depends("y"), CmpType::LessOrEqual),
              "Cannot compare type Some(Bool) from constraint Depends( x ) with type Some(Bool) from "
              "constraint Depends( y ) using operator '<='");
}

TEST(CheckComparison, UntypedSidesPrintNone)
{
    EXPECT_EQ(refusal(make_maximize(make_depends("a")), make_maximize(make_depends("a")), CmpType::Equal),
              "Cannot compare type None from constraint Maximize( Depends( a ) ) with type None from constraint "
              "Maximize( Depends( a ) ) using operator '=='");
    EXPECT_EQ(
        refusal(make_num_of({}), make_if_then(make_depends("c"), make_depends("d")), CmpType::NotEqual),
        "Cannot compare type Some(Int) from constraint NumOf(  ) with type None from constraint If( Depends( c ) ) "
        "Then [ Depends( d ) ] using operator '!='");
}

TEST(CheckComparison, EdgeCases)
{
    // A NumOf against a float is refused, against an integer accepted for every operator.
    EXPECT_FALSE(check_comparison(make_num_of({}), make_value(OptionValue{2.5}), CmpType::Less));
    for (CmpType op : all_ops)
        EXPECT_TRUE(check_comparison(make_num_of({}), make_value(OptionValue{std::int64_t{2}}), op));
    // Int 1 and Float 1.0 render alike but are different types.
    EXPECT_EQ(
        refusal(make_value(OptionValue{1.0}), make_value(OptionValue{std::int64_t{1}}), CmpType::Equal),
        "Cannot compare type Some(Float) from constraint 1 with type Some(Int) from constraint 1 using operator '=='");
    // A Str holding digits is still a Str.
    EXPECT_FALSE(check_comparison(make_value(OptionValue{std::string("5")}), make_value(OptionValue{std::int64_t{5}}),
                                  CmpType::Equal));
    // The accepted Cmp renders with the original sides.
    const auto cmp = check_comparison(make_depends("x"), make_value(OptionValue{true}), CmpType::Equal);
    ASSERT_TRUE(cmp);
    EXPECT_EQ(constraint_string(*cmp), "[ Depends( x ) ] == [ true ]");
}

TEST(CheckComparison, MessageKeepsRawTexts)
{
    EXPECT_EQ(refusal(make_spec_option("a'b", "\n"), make_value(OptionValue{std::string("{}")}), CmpType::Greater),
              "Cannot compare type Some(Unknown) from constraint Package 'a'b' -> Option '\n' with type Some(Str) "
              "from constraint {} using operator '>'");
}

} // namespace
} // namespace brenk::core
