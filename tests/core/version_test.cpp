// Version parsing, text and debug forms, and the escaping used in error renderings.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <sys/mman.h>

#include "escape.hpp"
#include "version.hpp"

namespace brenk::core {
namespace {

using namespace std::literals;

struct ParseCase {
    std::string_view input;
    std::string_view parts; // debug forms of the parts, or empty when parsing fails
    std::string_view text;  // text form, or the error rendering when parsing fails
};

std::ostream& operator<<(std::ostream& os, const ParseCase& c)
{
    return os << '"' << c.input << '"';
}

class VersionParse : public testing::TestWithParam<ParseCase> {};

TEST_P(VersionParse, PartsTextAndErrors)
{
    const ParseCase& c = GetParam();
    const auto v = parse_version(c.input);
    if (c.parts.empty()) {
        ASSERT_FALSE(v.has_value()) << v->debug();
        EXPECT_EQ(v.error().render(), c.text);
        return;
    }
    ASSERT_TRUE(v.has_value()) << v.error().render();
    EXPECT_EQ(v->debug(), "Version { parts: ["s.append(c.parts).append("] }"));
    EXPECT_EQ(v->text(), c.text);
}

constexpr ParseCase examples[] = {
    {"1.2.3", "Int(1), Sep('.'), Int(2), Sep('.'), Int(3)", "1.2.3"},
    {"1.2.0-rc1+build5",
     "Int(1), Sep('.'), Int(2), Sep('.'), Int(0), Sep('-'), Str(\"rc1\"), Sep('+'), Str(\"build5\")",
     "1.2.0-rc1+build5"},
    {"01.002", "Int(1), Sep('.'), Int(2)", "1.2"},
    {"1.*", "Int(1), Sep('.'), Wildcard(Single)", "1.*"},
    {"2.>", "Int(2), Sep('.'), Wildcard(Rest)", "2.>"},
    {">", "Wildcard(Rest)", ">"},
    {"1.*.x", "Int(1), Sep('.'), Wildcard(Single), Sep('.'), Str(\"x\")", "1.*.x"},
    {"4294967295", "Int(4294967295)", "4294967295"},
    {"4294967296", "Str(\"4294967296\")", "4294967296"},
    {"beta", "Str(\"beta\")", "beta"},
    {"", "", "TrailingSeparator"},
    {"1.", "", "TrailingSeparator"},
    {"1.>.", "", "TrailingSeparator"},
    {".", "", "EmptyPart"},
    {"1..2", "", "EmptyPart"},
    {"1..", "", "EmptyPart"},
    {"-1", "", "EmptyPart"},
    {"1.>.2", "", "PartAfterRest"},
    {">.1", "", "PartAfterRest"},
    {"1.>..2", "", "PartAfterRest"},
    {"1_0", "", "InvalidPart(\"1_0\")"},
    {"1,2", "", "InvalidPart(\"1,2\")"},
    {"1.x*", "", "InvalidPart(\"x*\")"},
    {"1.2 ", "", "InvalidPart(\"2 \")"},
    {"1.\xc3\xa9", "", "InvalidPart(\"\xc3\xa9\")"},
};
INSTANTIATE_TEST_SUITE_P(Examples, VersionParse, testing::ValuesIn(examples));

constexpr ParseCase more_cases[] = {
    // Leading zeros: dropped from the text form, never counted against the 32-bit limit.
    {"007", "Int(7)", "7"},
    {"0", "Int(0)", "0"},
    {"000", "Int(0)", "0"},
    {"1.00.010", "Int(1), Sep('.'), Int(0), Sep('.'), Int(10)", "1.0.10"},
    {"04294967295", "Int(4294967295)", "4294967295"},
    {"0004294967296", "Str(\"0004294967296\")", "0004294967296"},
    {"99999999999999999999999", "Str(\"99999999999999999999999\")", "99999999999999999999999"},
    {"1.4294967296.2", "Int(1), Sep('.'), Str(\"4294967296\"), Sep('.'), Int(2)", "1.4294967296.2"},
    {"*", "Wildcard(Single)", "*"},
    {"*.*.>", "Wildcard(Single), Sep('.'), Wildcard(Single), Sep('.'), Wildcard(Rest)", "*.*.>"},
    {"1-2+3", "Int(1), Sep('-'), Int(2), Sep('+'), Int(3)", "1-2+3"},
    {"RC1.Zz9", "Str(\"RC1\"), Sep('.'), Str(\"Zz9\")", "RC1.Zz9"},
    // Errors come in text order: a bad segment before a trailing separator wins.
    {"1_0.", "", "InvalidPart(\"1_0\")"},
    {"1..x_", "", "EmptyPart"},
    {"x_..", "", "InvalidPart(\"x_\")"},
    {">.", "", "TrailingSeparator"},
    {">.>", "", "PartAfterRest"},
    {">..", "", "PartAfterRest"},
    {"+", "", "EmptyPart"},
    {"1.+", "", "EmptyPart"},
    {"x*", "", "InvalidPart(\"x*\")"},
    {">1", "", "InvalidPart(\">1\")"},
    {"**", "", "InvalidPart(\"**\")"},
    {"1.2 3", "", "InvalidPart(\"2 3\")"},
    {" ", "", "InvalidPart(\" \")"},
    {"-", "", "EmptyPart"},
};
INSTANTIATE_TEST_SUITE_P(Grammar, VersionParse, testing::ValuesIn(more_cases));

TEST(Version, PartsAlternateSegmentsAndSeparators)
{
    const auto v = parse_version("4294967295.x-*+>");
    ASSERT_TRUE(v.has_value());
    const auto& parts = v->parts();
    ASSERT_EQ(parts.size(), 7u);
    for (std::size_t i = 0; i < parts.size(); ++i) EXPECT_EQ(parts[i].kind == PartKind::Sep, i % 2 == 1) << i;
    EXPECT_EQ(parts[0].kind, PartKind::Int);
    EXPECT_EQ(parts[0].number, 4294967295u);
    EXPECT_EQ(parts[1].sep, '.');
    EXPECT_EQ(parts[2].kind, PartKind::Str);
    EXPECT_EQ(v->str_of(parts[2]), "x");
    EXPECT_EQ(parts[3].sep, '-');
    EXPECT_EQ(parts[4].wildcard, WildcardKind::Single);
    EXPECT_EQ(parts[5].sep, '+');
    EXPECT_EQ(parts[6].wildcard, WildcardKind::Rest);
}

TEST(Version, StrPartSlicesSurviveLeadingZeroRemoval)
{
    // Str slices point into the text form, which is shorter than the input here.
    const auto v = parse_version("0001.0002.alpha.0003.beta");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->text(), "1.2.alpha.3.beta");
    EXPECT_EQ(v->str_of(v->parts()[4]), "alpha");
    EXPECT_EQ(v->str_of(v->parts()[8]), "beta");
}

TEST(Version, CopiesShareTheParsedValue)
{
    auto parsed = parse_version("1.0-rc1");
    ASSERT_TRUE(parsed.has_value());
    std::optional<Version> v = std::move(*parsed);
    const Version copy = *v;
    v.reset();
    EXPECT_EQ(copy.text(), "1.0-rc1");
    EXPECT_EQ(copy.debug(), "Version { parts: [Int(1), Sep('.'), Int(0), Sep('-'), Str(\"rc1\")] }");
}

TEST(Version, TextFormReparsesToTheSameParts)
{
    for (std::string_view input : {"01.002-rc1", "000.0.00004294967296", "1.*.>", "x-0+0009"}) {
        SCOPED_TRACE(input);
        const auto v = parse_version(input);
        ASSERT_TRUE(v.has_value());
        const auto again = parse_version(v->text());
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(again->debug(), v->debug());
        EXPECT_EQ(again->text(), v->text());
    }
}

TEST(Version, VeryLongInputParsesWithoutRecursion)
{
    std::string input = "1";
    for (int i = 0; i < 200000; ++i) input += ".01";
    const auto v = parse_version(input);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->parts().size(), 400001u);
    EXPECT_EQ(v->text().size(), input.size() - 200000);
}

struct EscapeCase {
    std::string_view segment;
    std::string_view rendering; // between InvalidPart(" and ")
};

// Every segment holds a character that makes it invalid, so parsing reports it whole.
constexpr EscapeCase escape_cases[] = {
    {"a\"b", "a\\\"b"},
    {"a\\b", "a\\\\b"},
    {"a'b", "a'b"},
    {"a\tb", "a\\tb"},
    {"a\rb", "a\\rb"},
    {"a\nb", "a\\nb"},
    {"a\0b"sv, "a\\0b"},
    {"\x01", "\\u{1}"},
    {"\x1b[0m", "\\u{1b}[0m"},
    {"\x1f", "\\u{1f}"},
    {"\x7f", "\\u{7f}"},
    {"\xc2\x85", "\\u{85}"},                  // U+0085 next line
    {"e\xcc\x81", "e\\u{301}"},               // combining acute accent
    {"\xcc\x81", "\\u{301}"},                 // a mark with nothing to attach to
    {"\xc3\xa9", "\xc3\xa9"},                 // é is printable
    {"\xe4\xb8\xad", "\xe4\xb8\xad"},         // CJK ideograph
    {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"}, // emoji
    {"\xe2\x80\x8b", "\\u{200b}"},            // zero width space
    {"\xe2\x80\xae", "\\u{202e}"},            // right-to-left override
    {"\xef\xbb\xbf", "\\u{feff}"},            // byte order mark
    {"\xf3\xa0\x80\x81", "\\u{e0001}"},       // language tag
    {"\xff", "\\u{fffd}"},                    // invalid byte
    {"\xc3(", "\\u{fffd}("},                  // truncated sequence keeps the next character
    {"x\xc3", "x\\u{fffd}"},                  // truncated at the end
    {"\xc0\xaf", "\\u{fffd}\\u{fffd}"},       // overlong encoding
};

class InvalidPartEscaping : public testing::TestWithParam<EscapeCase> {};

TEST_P(InvalidPartEscaping, Rendering)
{
    const EscapeCase& c = GetParam();
    const auto v = parse_version(c.segment);
    ASSERT_FALSE(v.has_value());
    const VersionError& error = v.error();
    ASSERT_EQ(error.kind, VersionErrorKind::InvalidPart);
    EXPECT_EQ(error.segment, c.segment);
    EXPECT_EQ(error.render(), "InvalidPart(\""s.append(c.rendering).append("\")"));
}
INSTANTIATE_TEST_SUITE_P(Table, InvalidPartEscaping, testing::ValuesIn(escape_cases));

TEST(Escape, SingleQuotesEscapeTheQuoteOnly)
{
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"'", "\\'"}, {"\"", "\""}, {"\\", "\\\\"}, {"\n", "\\n"}, {".", "."}, {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        std::string out = "keep:";
        append_escaped(out, text, '\'');
        EXPECT_EQ(out, "keep:"s.append(expected)) << text;
    }
}

TEST(Version, TextLongerThanAVersionHoldsIsRefusedBeforeAnyAllocation)
{
    // Address space only: zero pages that nothing is written to. Parsing must refuse on the length.
    const std::size_t size = max_version_text + 1;
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(text, MAP_FAILED);
    const auto v = parse_version(std::string_view(static_cast<const char*>(text), size));
    munmap(text, size);
    ASSERT_FALSE(v.has_value());
    EXPECT_EQ(v.error().kind, VersionErrorKind::TooLong);
    EXPECT_EQ(v.error().render(), "version text longer than 4294967295 bytes");
}

TEST(Version, DebugForms)
{
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"1.2", "Version { parts: [Int(1), Sep('.'), Int(2)] }"},
        {">", "Version { parts: [Wildcard(Rest)] }"},
        {"*", "Version { parts: [Wildcard(Single)] }"},
        {"a+b", "Version { parts: [Str(\"a\"), Sep('+'), Str(\"b\")] }"},
    };
    for (const auto& [input, expected] : cases) {
        const auto v = parse_version(input);
        ASSERT_TRUE(v.has_value()) << input;
        EXPECT_EQ(v->debug(), expected);
    }
}

} // namespace
} // namespace brenk::core
