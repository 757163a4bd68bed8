// Constraint nodes: sharing on copy and the text rendering of every kind, and the sinks.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "constraint.hpp"
#include "render.hpp"

namespace brenk::core {
namespace {

using namespace std::literals;

Constraint dep(std::string on)
{
    return make_depends(std::move(on));
}
Constraint opt(std::string package, std::string option)
{
    return make_spec_option(std::move(package), std::move(option));
}
Constraint val_bool(bool b)
{
    return make_value(OptionValue{b});
}
Constraint val_int(std::int64_t i)
{
    return make_value(OptionValue{i});
}
Constraint val_float(double d)
{
    return make_value(OptionValue{d});
}
Constraint val_str(std::string s)
{
    return make_value(OptionValue{std::move(s)});
}
Constraint val_version(std::string_view text)
{
    auto v = parse_version(text);
    if (!v) throw std::invalid_argument(v.error().render());
    return make_value(OptionValue{std::move(*v)});
}
template <class... C> Constraint num_of(C... items)
{
    std::vector<Constraint> of;
    (of.push_back(std::move(items)), ...);
    return make_num_of(std::move(of));
}

std::uint32_t refs(const Constraint& c)
{
    return c.get()->refs.load();
}

TEST(Constraint, DiscriminantsAndOperatorTables)
{
    // Both numberings are visible outside the core and must not be reordered.
    const ConstraintKind kinds[] = {ConstraintKind::Cmp,        ConstraintKind::Depends,  ConstraintKind::IfThen,
                                    ConstraintKind::Maximize,   ConstraintKind::Minimize, ConstraintKind::NumOf,
                                    ConstraintKind::SpecOption, ConstraintKind::Value};
    for (int i = 0; i < constraint_kind_count; ++i) EXPECT_EQ(static_cast<int>(kinds[i]), i);

    const struct {
        CmpType op;
        int value;
        const char* text;
        const char* name;
    } ops[] = {
        {CmpType::Less, 0, "<", "Less"},
        {CmpType::LessOrEqual, 1, "<=", "LessOrEqual"},
        {CmpType::NotEqual, 2, "!=", "NotEqual"},
        {CmpType::Equal, 3, "==", "Equal"},
        {CmpType::GreaterOrEqual, 4, ">=", "GreaterOrEqual"},
        {CmpType::Greater, 5, ">", "Greater"},
    };
    static_assert(std::size(ops) == cmp_type_count);
    static_assert(sizeof(CmpType) == 1);
    for (const auto& o : ops) {
        EXPECT_EQ(static_cast<int>(o.op), o.value);
        EXPECT_STREQ(operator_text(o.op), o.text);
        EXPECT_STREQ(cmp_type_name(o.op), o.name);
    }
}

TEST(Constraint, MakersKeepTheirFields)
{
    const Constraint lhs = opt("p", "o");
    const Constraint rhs = val_int(3);
    const Constraint cmp = make_cmp(lhs, rhs, CmpType::GreaterOrEqual);
    ASSERT_EQ(cmp.kind(), ConstraintKind::Cmp);
    EXPECT_EQ(cmp.as<CmpNode>().lhs.get(), lhs.get());
    EXPECT_EQ(cmp.as<CmpNode>().rhs.get(), rhs.get());
    EXPECT_EQ(cmp.as<CmpNode>().op, CmpType::GreaterOrEqual);
    EXPECT_EQ(lhs.as<SpecOptionNode>().package_name(), "p");
    EXPECT_EQ(lhs.as<SpecOptionNode>().option_name(), "o");
    EXPECT_EQ(make_maximize(val_int(1)).kind(), ConstraintKind::Maximize);
    EXPECT_EQ(make_minimize(val_int(1)).kind(), ConstraintKind::Minimize);
    const Constraint of = num_of(dep("a"), dep("a"), dep("b"));
    ASSERT_EQ(of.as<NumOfNode>().of().size(), 3u);
    EXPECT_EQ(of.as<NumOfNode>().of()[2].as<DependsNode>().on(), "b");
}

TEST(Constraint, CopySharesAndReleasesTheNode)
{
    Constraint a = num_of(dep("x"), val_str("y"));
    EXPECT_EQ(refs(a), 1u);
    Constraint b = a;
    EXPECT_EQ(b.get(), a.get());
    EXPECT_EQ(refs(a), 2u);
    {
        Constraint c = b;
        c = a; // self-share through assignment keeps the count right
        EXPECT_EQ(refs(a), 3u);
    }
    EXPECT_EQ(refs(a), 2u);
    Constraint moved = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_EQ(refs(a), 2u);
    a.reset();
    EXPECT_FALSE(a);
    EXPECT_EQ(refs(moved), 1u);
    EXPECT_EQ(constraint_string(moved), "NumOf( Depends( x ), y )");
}

TEST(Constraint, CopyOutlivesTheSource)
{
    Constraint source = make_if_then(make_cmp(opt("pkg", "opt"), val_bool(true), CmpType::Equal), dep("libx"));
    const Constraint copy = source;
    source = dep("other");
    EXPECT_EQ(constraint_string(source), "Depends( other )");
    EXPECT_EQ(constraint_string(copy), "If( [ Package 'pkg' -> Option 'opt' ] == [ true ] ) Then [ Depends( libx ) ]");
}

struct RenderCase {
    const char* what;
    Constraint c;
    std::string expected;
};

std::vector<RenderCase> render_cases()
{
    std::vector<RenderCase> cases;
    auto add = [&](const char* what, Constraint c, std::string expected) {
        cases.push_back(RenderCase{what, std::move(c), std::move(expected)});
    };
    const Constraint pkg_opt_true = make_cmp(opt("pkg", "opt"), val_bool(true), CmpType::Equal);
    add("cmp", pkg_opt_true, "[ Package 'pkg' -> Option 'opt' ] == [ true ]");
    add("if-then", make_if_then(pkg_opt_true, dep("libx")),
        "If( [ Package 'pkg' -> Option 'opt' ] == [ true ] ) Then [ Depends( libx ) ]");
    add("num-of two", num_of(dep("a"), dep("b")), "NumOf( Depends( a ), Depends( b ) )");
    add("maximize float", make_maximize(val_float(2.5)), "Maximize( 2.5 )");
    add("minimize int", make_minimize(val_int(-1)), "Minimize( -1 )");
    add("num-of empty", make_num_of({}), "NumOf(  )");
    add("num-of one", num_of(dep("a")), "NumOf( Depends( a ) )");
    add("num-of nested", num_of(num_of(dep("a"), dep("b")), make_num_of({}), num_of(dep("c"))),
        "NumOf( NumOf( Depends( a ), Depends( b ) ), NumOf(  ), NumOf( Depends( c ) ) )");
    add("num-of empty texts", num_of(val_str(""), val_str("")), "NumOf( ,  )");
    add("num-of duplicates", num_of(dep("d"), dep("d")), "NumOf( Depends( d ), Depends( d ) )");
    add("SpecOption quotes", opt("it's", "o'"), "Package 'it's' -> Option 'o''");
    add("SpecOption empty", opt("", ""), "Package '' -> Option ''");
    add("depends empty", dep(""), "Depends(  )");
    add("depends raw", dep(" a\n\"[b]\"\t) "), "Depends(  a\n\"[b]\"\t)  )");
    add("depends utf8", dep("caf\xc3\xa9\xcc\x81"), "Depends( caf\xc3\xa9\xcc\x81 )");
    add("value str 5", val_str("5"), "5");
    add("value int 5", val_int(5), "5");
    add("value float 1.0", val_float(1.0), "1");
    add("value float 0.1", val_float(0.1), "0.1");
    add("value float -0.0", val_float(-0.0), "-0");
    add("value bool", val_bool(false), "false");
    add("value str empty", val_str(""), "");
    add("value str raw", val_str("NumOf( ' ]"), "NumOf( ' ]");
    add("value version", val_version("01.2-rc1"), "1.2-rc1");
    add("cmp nested rhs", make_cmp(val_str("a"), make_cmp(val_str("b"), val_str("c"), CmpType::Equal), CmpType::Less),
        "[ a ] < [ [ b ] == [ c ] ]");
    add("cmp nested lhs",
        make_cmp(make_cmp(val_str("b"), val_str("c"), CmpType::NotEqual), val_str("a"), CmpType::Greater),
        "[ [ b ] != [ c ] ] > [ a ]");
    add("if-then nested", make_if_then(make_if_then(dep("a"), dep("b")), make_maximize(num_of(dep("c")))),
        "If( If( Depends( a ) ) Then [ Depends( b ) ] ) Then [ Maximize( NumOf( Depends( c ) ) ) ]");
    add("minimize of maximize", make_minimize(make_maximize(opt("p", "o"))),
        "Minimize( Maximize( Package 'p' -> Option 'o' ) )");
    const std::pair<CmpType, const char*> ops[] = {
        {CmpType::Less, "[ 1 ] < [ 2 ]"},
        {CmpType::LessOrEqual, "[ 1 ] <= [ 2 ]"},
        {CmpType::NotEqual, "[ 1 ] != [ 2 ]"},
        {CmpType::Equal, "[ 1 ] == [ 2 ]"},
        {CmpType::GreaterOrEqual, "[ 1 ] >= [ 2 ]"},
        {CmpType::Greater, "[ 1 ] > [ 2 ]"},
    };
    for (const auto& [op, text] : ops) add("cmp operator", make_cmp(val_int(1), val_int(2), op), text);
    return cases;
}

TEST(ConstraintText, EveryKindAndRule)
{
    for (const RenderCase& c : render_cases()) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(constraint_string(c.c), c.expected);
        std::string out = "prefix:";
        StringSink sink(out);
        EXPECT_TRUE(constraint_text(c.c, sink));
        EXPECT_EQ(out, "prefix:" + c.expected);
    }
}

/// Records every piece and refuses the write after `accept` successful ones.
class FailingSink final : public Sink {
public:
    explicit FailingSink(std::size_t accept) : accept_(accept) {}
    bool write(std::string_view piece) override
    {
        ++calls;
        if (calls > accept_) return false;
        pieces.emplace_back(piece);
        return true;
    }
    std::size_t calls = 0;
    std::vector<std::string> pieces;

private:
    std::size_t accept_;
};

TEST(ConstraintText, SinkFailureStopsTheRendering)
{
    for (const RenderCase& c : render_cases()) {
        SCOPED_TRACE(c.what);
        FailingSink all(SIZE_MAX);
        ASSERT_TRUE(constraint_text(c.c, all));
        std::string joined;
        for (const auto& p : all.pieces) joined += p;
        ASSERT_EQ(joined, c.expected);
        const std::size_t n = all.pieces.size();
        for (std::size_t k = 0; k <= n; ++k) {
            FailingSink sink(k);
            const bool ok = constraint_text(c.c, sink);
            if (k == n) {
                EXPECT_TRUE(ok);
                EXPECT_EQ(sink.calls, n);
                continue;
            }
            EXPECT_FALSE(ok) << k;
            EXPECT_EQ(sink.calls, k + 1) << "wrote after the failure, k=" << k;
            EXPECT_EQ(sink.pieces, std::vector<std::string>(all.pieces.begin(),
                                                            all.pieces.begin() + static_cast<std::ptrdiff_t>(k)));
        }
    }
}

TEST(ConstraintText, PiecesAreStreamedNotJoined)
{
    // Fixed pieces and field texts arrive as separate writes.
    FailingSink sink(SIZE_MAX);
    ASSERT_TRUE(constraint_text(opt("p", "o"), sink));
    EXPECT_EQ(sink.pieces, (std::vector<std::string>{"Package '", "p", "' -> Option '", "o", "'"}));
}

TEST(BoundedSink, CutsAtTheCapOnACharacterBoundary)
{
    const std::string marker(truncation_marker);
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
        std::size_t cap;
        std::string expected;
    };
    const Case cases[] = {
        {"fits exactly", {"ab", "cd"}, 4, "abcd"},
        {"one byte over, later pieces dropped", {"ab", "cde", "f"}, 4, "abcd" + marker},
        {"cap inside a character", {"a", "\xc3\xa9\xc3\xa9"}, 4, "a\xc3\xa9" + marker},
        {"no whole character fits", {"\xe2\x82\xac"}, 2, marker},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = "<";
        BoundedSink sink(out, c.cap);
        bool ok = true;
        for (const std::string& piece : c.pieces) ok = sink.write(piece) && ok;
        EXPECT_EQ(ok, c.expected.find(marker) == std::string::npos);
        EXPECT_EQ(out, "<" + c.expected);
    }
}

} // namespace
} // namespace brenk::core
