#include "escape.hpp"

#include <cstdint>

namespace brenk::core {
namespace {

struct Range {
    std::uint32_t first, last;
};

// Code points shown as \u{..}: control and format characters, separators other than the
// space, and the common combining-mark blocks (marks would otherwise attach to the quote).
constexpr Range escaped_ranges[] = {
    {0x0000, 0x001F},    {0x007F, 0x009F}, {0x00A0, 0x00A0}, {0x00AD, 0x00AD},   {0x0300, 0x036F},   {0x0483, 0x0489},
    {0x0591, 0x05BD},    {0x05BF, 0x05BF}, {0x05C1, 0x05C2}, {0x05C4, 0x05C5},   {0x05C7, 0x05C7},   {0x0600, 0x0605},
    {0x0610, 0x061A},    {0x061C, 0x061C}, {0x064B, 0x065F}, {0x0670, 0x0670},   {0x06D6, 0x06DD},   {0x06DF, 0x06E4},
    {0x06E7, 0x06E8},    {0x06EA, 0x06ED}, {0x070F, 0x070F}, {0x0711, 0x0711},   {0x0730, 0x074A},   {0x0900, 0x0903},
    {0x093A, 0x094F},    {0x0951, 0x0957}, {0x0962, 0x0963}, {0x0981, 0x0983},   {0x09BC, 0x09D7},   {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A},    {0x0E47, 0x0E4E}, {0x1160, 0x11FF}, {0x1680, 0x1680},   {0x180B, 0x180F},   {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF},    {0x2000, 0x200F}, {0x2028, 0x202F}, {0x205F, 0x206F},   {0x20D0, 0x20FF},   {0x3000, 0x3000},
    {0x302A, 0x302F},    {0x3099, 0x309A}, {0xD800, 0xDFFF}, {0xE000, 0xF8FF},   {0xFE00, 0xFE0F},   {0xFE20, 0xFE2F},
    {0xFEFF, 0xFEFF},    {0xFFF0, 0xFFFB}, {0xFFFE, 0xFFFF}, {0x1D165, 0x1D169}, {0x1D16D, 0x1D182}, {0xE0000, 0xE0FFF},
    {0xF0000, 0x10FFFF},
};

bool needs_escape(std::uint32_t cp)
{
    for (const Range& r : escaped_ranges) {
        if (cp < r.first) return false;
        if (cp <= r.last) return true;
    }
    return false;
}

/// Decodes one code point at text[i], advancing i; malformed input yields U+FFFD.
std::uint32_t decode_one(std::string_view text, std::size_t& i, bool& valid)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    valid = true;
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    std::uint32_t cp = 0, min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    }
    else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    }
    else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    }
    else {
        ++i;
        valid = false;
        return 0xFFFD;
    }
    if (text.size() - i <= static_cast<std::size_t>(extra)) {
        ++i;
        valid = false;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char b = byte(i + static_cast<std::size_t>(k));
        if ((b & 0xC0) != 0x80) {
            ++i;
            valid = false;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        valid = false;
        return 0xFFFD;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

void append_hex_escape(std::string& out, std::uint32_t cp)
{
    static constexpr char digits[] = "0123456789abcdef";
    char buf[8];
    int n = 0;
    do {
        buf[n++] = digits[cp & 0xF];
        cp >>= 4;
    } while (cp != 0);
    out += "\\u{";
    while (n > 0) out += buf[--n];
    out += '}';
}

} // namespace

void append_escaped(std::string& out, std::string_view text, char quote)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        bool valid = true;
        const std::uint32_t cp = decode_one(text, i, valid);
        if (!valid) {
            append_hex_escape(out, 0xFFFD);
            continue;
        }
        switch (cp) {
        case '\t':
            out += "\\t";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\0':
            out += "\\0";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        default:
            break;
        }
        if (cp == static_cast<unsigned char>(quote)) {
            out += '\\';
            out += quote;
        }
        else if (needs_escape(cp)) {
            append_hex_escape(out, cp);
        }
        else {
            out.append(text.substr(start, i - start));
        }
    }
}

} // namespace brenk::core
