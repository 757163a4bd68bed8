// A writer of our own rather than a library's: the format is small and fixed, the texts must be
// checked as UTF-8 on the way, and the tree walk must share the core's explicit stack.
#include "json.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "packed_value.hpp"
#include "walk.hpp"

namespace brenk::core::json {
namespace {

/// Length of the valid UTF-8 sequence starting at `p` (lead byte >= 0x80), or 0 when invalid:
/// overlong forms, surrogates and code points past U+10FFFF are refused.
std::size_t utf8_sequence(const unsigned char* p, const unsigned char* end) noexcept
{
    const unsigned char b = p[0];
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF; // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    }
    else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    }
    else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    }
    else {
        return 0;
    }
    if (static_cast<std::size_t>(end - p) < n) return 0;
    if (p[1] < lo || p[1] > hi) return 0;
    for (std::size_t i = 2; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
    }
    return n;
}

/// Bytes a text cannot copy as they are: control characters, '"', '\\', and every byte of a
/// multi-byte sequence (checked as UTF-8).
constexpr auto special = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
    return table;
}();

/// The escape of an ASCII byte, or null when it is written as it is.
const char* escape_of(unsigned char c) noexcept
{
    static constexpr const char* control[32] = {
        "\\u0000", "\\u0001", "\\u0002", "\\u0003", "\\u0004", "\\u0005", "\\u0006", "\\u0007",
        "\\b",     "\\t",     "\\n",     "\\u000b", "\\f",     "\\r",     "\\u000e", "\\u000f",
        "\\u0010", "\\u0011", "\\u0012", "\\u0013", "\\u0014", "\\u0015", "\\u0016", "\\u0017",
        "\\u0018", "\\u0019", "\\u001a", "\\u001b", "\\u001c", "\\u001d", "\\u001e", "\\u001f",
    };
    if (c < 32) return control[c];
    if (c == '"') return "\\\"";
    if (c == '\\') return "\\\\";
    return nullptr;
}

/// Writes the float text of a finite `d` into `out` (at least 32 bytes); returns its end.
/// Shortest round-trip digits, laid out as Python's repr() does: positional notation for
/// exponents from -4 to 15 (with ".0" when there is no fraction), else d.ddde+XX.
char* finite_float(char* out, double d) noexcept
{
    char sci[32];
    const auto r = std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific);
    const char* p = sci;
    if (*p == '-') *out++ = *p++;
    char digits[20];
    std::size_t n = 0;
    for (; *p != 'e'; ++p) {
        if (*p != '.') digits[n++] = *p;
    }
    int exponent = 0;
    std::from_chars(p + (p[1] == '+' ? 2 : 1), r.ptr, exponent);
    if (exponent < -4 || exponent >= 16) {
        *out++ = digits[0];
        if (n > 1) {
            *out++ = '.';
            std::memcpy(out, digits + 1, n - 1);
            out += n - 1;
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) *out++ = '0';
        return std::to_chars(out, out + 4, magnitude).ptr;
    }
    if (exponent < 0) {
        *out++ = '0';
        *out++ = '.';
        for (int i = -1; i > exponent; --i) *out++ = '0';
        std::memcpy(out, digits, n);
        return out + n;
    }
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    for (std::size_t i = 0; i < whole; ++i) *out++ = i < n ? digits[i] : '0';
    *out++ = '.';
    if (n <= whole) {
        *out++ = '0';
        return out;
    }
    std::memcpy(out, digits + whole, n - whole);
    return out + (n - whole);
}

/// The text of a float: a number, or the tagged object of NaN and the infinities.
std::string_view float_text(double d, char (&buffer)[40]) noexcept
{
    if (std::isnan(d)) return R"({"Float":"NaN"})";
    if (std::isinf(d)) return d > 0 ? R"({"Float":"Infinity"})" : R"({"Float":"-Infinity"})";
    return {buffer, static_cast<std::size_t>(finite_float(buffer, d) - buffer)};
}

/// The text between a node's children, as the members in name order put it: `head` before the
/// first child (the whole object for a leaf), `between` before each later one, `tail` after.
struct Shape {
    std::string_view head, between, tail;
};

Shape shape_of(const Node* n) noexcept
{
    switch (n->kind) {
    case ConstraintKind::Cmp:
        return {R"({"kind":"Cmp","lhs":)", {}, "}"};
    case ConstraintKind::IfThen:
        return {R"({"cond":)", R"(,"kind":"IfThen","then":)", "}"};
    case ConstraintKind::Maximize:
        return {R"({"item":)", {}, R"(,"kind":"Maximize"})"};
    case ConstraintKind::Minimize:
        return {R"({"item":)", {}, R"(,"kind":"Minimize"})"};
    case ConstraintKind::NumOf:
        return {R"({"kind":"NumOf","of":[)", ",", "]}"};
    default:
        return {};
    }
}

} // namespace

void append_float(std::string& out, double d)
{
    char buffer[40];
    out += float_text(d, buffer);
}

bool Writer::flush()
{
    if (failed_) return false;
    if (used_ > 0 && !sink_.write(std::string_view(buffer_, used_))) failed_ = true;
    used_ = 0;
    return !failed_;
}

void Writer::raw_slow(std::string_view piece)
{
    if (!flush()) return;
    if (piece.size() > capacity) {
        if (!sink_.write(piece)) failed_ = true;
        return;
    }
    std::memcpy(buffer_, piece.data(), piece.size());
    used_ = piece.size();
}

void Writer::text(std::string_view t)
{
    raw("\"");
    const auto* p = reinterpret_cast<const unsigned char*>(t.data());
    const auto* end = p + t.size();
    const auto* run = p; // start of the bytes not yet written
    while (p != end) {
        if (!special[*p]) {
            ++p;
            continue;
        }
        if (*p >= 0x80) {
            const std::size_t n = utf8_sequence(p, end);
            if (n == 0) {
                invalid_ = true;
                return;
            }
            p += n;
            continue;
        }
        raw(std::string_view(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run)));
        raw(escape_of(*p));
        run = ++p;
    }
    raw(std::string_view(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run)));
    raw("\"");
}

void Writer::float_number(double d)
{
    char buffer[40];
    raw(float_text(d, buffer));
}

void Writer::value(const char* packed)
{
    const packed::ValueView v{packed};
    switch (v.kind()) {
    case OptionKind::Bool:
        raw(v.as_bool() ? "true" : "false");
        break;
    case OptionKind::Int: {
        char buffer[24];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v.as_int());
        raw(std::string_view(buffer, static_cast<std::size_t>(r.ptr - buffer)));
        break;
    }
    case OptionKind::Float:
        float_number(v.as_float());
        break;
    case OptionKind::Str:
        text(v.as_text());
        break;
    case OptionKind::Version:
        raw(R"({"Version":)");
        text(v.as_text());
        raw("}");
        break;
    }
}

void Writer::map(const OutlineRecord::PackedMap& map)
{
    raw("{");
    const char* p = map.bytes.data();
    for (std::size_t i = 0; i < map.count && !invalid_; ++i) {
        if (map.order != nullptr) p = map.bytes.data() + map.order_offset(i);
        if (i > 0) raw(",");
        text(packed::get_text(p));
        raw(":");
        if (*p == packed::no_value) {
            raw("null");
        }
        else {
            value(p);
        }
        packed::get_value_end(p);
    }
    raw("}");
}

Status Writer::finish()
{
    if (invalid_) return Status::invalid_text;
    flush();
    return failed_ ? Status::stopped : Status::ok;
}

void Writer::leaf(const Node* n)
{
    switch (n->kind) {
    case ConstraintKind::Depends:
        raw(R"({"kind":"Depends","on":)");
        text(static_cast<const DependsNode*>(n)->on());
        raw("}");
        break;
    case ConstraintKind::SpecOption:
        raw(R"({"kind":"SpecOption","option_name":)");
        text(static_cast<const SpecOptionNode*>(n)->option_name());
        raw(R"(,"package_name":)");
        text(static_cast<const SpecOptionNode*>(n)->package_name());
        raw("}");
        break;
    case ConstraintKind::Value:
        raw(R"({"kind":"Value","value":)");
        value(static_cast<const ValueNode*>(n)->packed_value());
        raw("}");
        break;
    default:
        break;
    }
}

void Writer::tree(const Node* root)
{
    walk(
        root,
        [&](const Node* c, const Node* parent, std::size_t index, std::size_t) {
            if (parent != nullptr && index > 0) {
                if (parent->kind == ConstraintKind::Cmp) {
                    raw(R"(,"op":")");
                    raw(cmp_type_name(static_cast<const CmpNode*>(parent)->op));
                    raw(R"(","rhs":)");
                }
                else {
                    raw(shape_of(parent).between);
                }
            }
            const Shape shape = shape_of(c);
            if (shape.head.empty()) {
                leaf(c);
            }
            else {
                raw(shape.head);
            }
            return invalid_ || failed_ ? Step::stop : Step::into;
        },
        [&](const Node* c, std::size_t) { raw(shape_of(c).tail); });
}

Status Writer::constraint(const Constraint& root)
{
    tree(root.get());
    return finish();
}

Status Writer::packed_value(const char* packed)
{
    value(packed);
    return finish();
}

Status Writer::outline(const OutlineRecord& record, const std::string_view* script)
{
    raw(R"({"constraints":[)");
    bool first = true;
    for (const Constraint& c : record.constraints()) {
        if (invalid_ || failed_) break;
        if (!first) raw(",");
        first = false;
        tree(c.get());
    }
    raw(R"(],"name":)");
    text(record.name());
    if (script != nullptr) {
        raw(R"(,"script":)");
        text(*script);
    }
    raw(R"(,"set_defaults":)");
    map(record.defaults_map());
    raw(R"(,"set_options":)");
    map(record.options_map());
    raw("}");
    return finish();
}

namespace {

/// The text `write(writer)` produces, as a string.
template <class Write> std::string to_string(Write&& write)
{
    std::string out;
    StringSink sink(out);
    Writer writer(sink);
    write(writer);
    return out;
}

} // namespace

std::string outline_string(const OutlineRecord& record)
{
    return to_string([&](Writer& w) { w.outline(record); });
}

std::string constraint_string(const Constraint& c)
{
    return to_string([&](Writer& w) { w.constraint(c); });
}

} // namespace brenk::core::json
