// Parses arbitrary bytes as a version. A parsed version must survive a round trip through its
// text form; a refused one must render its error as clean, escaped text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "version.hpp"

namespace {

void check(bool ok)
{
    if (!ok) std::abort();
}

/// True when `text` is well-formed UTF-8 with no raw control characters.
bool clean_utf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7f) return false;
        const std::size_t n = b < 0x80             ? 1
                              : (b & 0xE0) == 0xC0 ? 2
                              : (b & 0xF0) == 0xE0 ? 3
                              : (b & 0xF8) == 0xF0 ? 4
                                                   : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

bool is_separator(char c)
{
    return c == '.' || c == '-' || c == '+';
}

void check_same_parts(const brenk::core::Version& a, const brenk::core::Version& b)
{
    const auto a_parts = a.parts();
    const auto b_parts = b.parts();
    check(a_parts.size() == b_parts.size());
    for (std::size_t i = 0; i < a_parts.size(); ++i) {
        const auto& p = a_parts[i];
        const auto& q = b_parts[i];
        check(p.kind == q.kind);
        switch (p.kind) {
        case brenk::core::PartKind::Int:
            check(p.number == q.number);
            break;
        case brenk::core::PartKind::Str:
            check(a.str_of(p) == b.str_of(q));
            break;
        case brenk::core::PartKind::Wildcard:
            check(p.wildcard == q.wildcard);
            break;
        case brenk::core::PartKind::Sep:
            check(p.sep == q.sep);
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto version = brenk::core::parse_version(input);
    if (!version) {
        const brenk::core::VersionError& error = version.error();
        const std::string rendering = error.render();
        check(clean_utf8(rendering));
        if (error.kind == brenk::core::VersionErrorKind::InvalidPart) {
            check(!error.segment.empty());
            check(input.find(error.segment) != std::string_view::npos);
            for (char c : error.segment) check(!is_separator(c));
            check(rendering.starts_with("InvalidPart(\"") && rendering.ends_with("\")"));
        }
        return 0;
    }

    const auto parts = version->parts();
    check(parts.size() % 2 == 1);
    for (std::size_t i = 0; i < parts.size(); ++i) check((parts[i].kind == brenk::core::PartKind::Sep) == (i % 2 == 1));
    check(version->text().size() <= input.size());

    const auto again = brenk::core::parse_version(version->text());
    check(again.has_value());
    check(again->text() == version->text());
    check_same_parts(*version, *again);

    const std::string debug = version->debug();
    check(debug == again->debug());
    check(debug == version->debug());
    check(clean_utf8(debug));
    const brenk::core::Version copy = *version;
    check(copy.debug() == debug);
    return 0;
}
