#include "version.hpp"

#include <cassert>
#include <charconv>
#include <cstring>
#include <memory>
#include <new>

#include "escape.hpp"

namespace brenk::core {
namespace {

bool is_separator(char c)
{
    return c == '.' || c == '-' || c == '+';
}
bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}
bool is_alnum(char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

/// Value of an all-digit segment if it fits 32 bits (leading zeros allowed).
bool parse_u32(std::string_view seg, std::uint32_t& value)
{
    std::uint64_t v = 0;
    for (char c : seg) {
        if (!is_digit(c)) return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > 0xFFFFFFFFull) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

/// The kind of a segment that contains no separator, or false when it has no kind (empty,
/// or a character other than an ASCII letter or digit in a multi-character segment).
bool classify(std::string_view seg, VersionPart& part)
{
    part = VersionPart{PartKind::Wildcard, 0, WildcardKind::Single, 0, 0, 0};
    if (seg.empty()) return false;
    if (seg == "*") return true;
    if (seg == ">") {
        part.wildcard = WildcardKind::Rest;
        return true;
    }
    if (parse_u32(seg, part.number)) {
        part.kind = PartKind::Int;
        return true;
    }
    for (char c : seg) {
        if (!is_alnum(c)) return false;
    }
    part.kind = PartKind::Str;
    part.length = seg.size();
    return true;
}

/// Checks segments in order and writes the text form into a VersionData block.
class Parser {
public:
    explicit Parser(VersionData& data) : data_(data) {}

    /// Applies the segment rules in order; false and `error` on the first failure.
    bool segment(std::string_view seg, VersionError& error)
    {
        if (rest_seen_) return fail(error, VersionErrorKind::PartAfterRest);
        if (seg.empty()) return fail(error, VersionErrorKind::EmptyPart);
        VersionPart part;
        if (!classify(seg, part)) {
            error.kind = VersionErrorKind::InvalidPart;
            error.segment.assign(seg);
            return false;
        }
        rest_seen_ = part.kind == PartKind::Wildcard && part.wildcard == WildcardKind::Rest;
        if (part.kind == PartKind::Int) {
            char buf[16];
            auto r = std::to_chars(buf, buf + sizeof buf, part.number);
            append(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
        }
        else {
            append(seg);
        }
        return true;
    }

    void separator(char c) { append(std::string_view(&c, 1)); }

private:
    static bool fail(VersionError& error, VersionErrorKind kind)
    {
        error.kind = kind;
        error.segment.clear();
        return false;
    }
    // The text form is never longer than the input (only leading zeros are dropped), so the
    // block's text capacity, the input length, always suffices.
    void append(std::string_view t)
    {
        std::memcpy(data_.text() + data_.size, t.data(), t.size());
        data_.size += static_cast<std::uint32_t>(t.size());
    }

    VersionData& data_;
    bool rest_seen_ = false;
};

struct BlockDeleter {
    void operator()(VersionData* p) const noexcept { delete p; }
};

} // namespace

Result<Version, VersionError> parse_version(std::string_view text)
{
    if (text.size() > max_version_text) return Refusal{VersionError{VersionErrorKind::TooLong, {}}};
    std::unique_ptr<VersionData, BlockDeleter> data(VersionData::allocate(text.size()));
    Parser parser(*data);
    VersionError error{};
    std::size_t start = 0;
    // Separators are ASCII, so scanning bytes finds them at code point boundaries.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!is_separator(text[i])) continue;
        if (!parser.segment(text.substr(start, i - start), error)) return Refusal{std::move(error)};
        parser.separator(text[i]);
        start = i + 1;
    }
    if (start == text.size()) return Refusal{VersionError{VersionErrorKind::TrailingSeparator, {}}};
    if (!parser.segment(text.substr(start), error)) return Refusal{std::move(error)};
    return Version(Rc<VersionData>::adopt(data.release()));
}

VersionData* VersionData::allocate(std::size_t text_capacity)
{
    assert(text_capacity <= max_version_text);
    void* block = ::operator new(sizeof(VersionData) + text_capacity);
    return new (block) VersionData();
}

Version Version::from_text(std::string_view text)
{
    VersionData* data = VersionData::allocate(text.size());
    if (!text.empty()) std::memcpy(data->text(), text.data(), text.size());
    data->size = static_cast<std::uint32_t>(text.size());
    return Version(Rc<VersionData>::adopt(data));
}

namespace {

/// Calls `f` with each part of the text form `t`, in order.
template <class F> void decode_parts(std::string_view t, F&& f)
{
    std::size_t start = 0;
    for (std::size_t i = 0;; ++i) {
        if (i < t.size() && !is_separator(t[i])) continue;
        VersionPart part;
        classify(t.substr(start, i - start), part);
        part.offset = part.kind == PartKind::Str ? start : 0;
        f(part);
        if (i == t.size()) return;
        f(VersionPart{PartKind::Sep, t[i], WildcardKind::Single, 0, 0, 0});
        start = i + 1;
    }
}

} // namespace

std::vector<VersionPart> Version::parts() const
{
    std::vector<VersionPart> parts;
    decode_parts(text(), [&](const VersionPart& p) { parts.push_back(p); });
    return parts;
}

std::string VersionError::render() const
{
    if (kind == VersionErrorKind::TooLong) return "version text longer than 4294967295 bytes";
    std::string out = version_error_name(kind);
    if (kind != VersionErrorKind::InvalidPart) return out;
    out += "(\"";
    append_escaped(out, segment, '"');
    out += "\")";
    return out;
}

void append_part_debug(std::string& out, const Version& v, const VersionPart& p)
{
    switch (p.kind) {
    case PartKind::Int: {
        char buf[16];
        auto r = std::to_chars(buf, buf + sizeof buf, p.number);
        out += "Int(";
        out.append(buf, r.ptr);
        out += ')';
        break;
    }
    case PartKind::Str:
        out += "Str(\"";
        append_escaped(out, v.str_of(p), '"');
        out += "\")";
        break;
    case PartKind::Wildcard:
        out += "Wildcard(";
        out += wildcard_name(p.wildcard);
        out += ')';
        break;
    case PartKind::Sep:
        out += "Sep('";
        append_escaped(out, std::string_view(&p.sep, 1), '\'');
        out += "')";
        break;
    }
}

std::string Version::debug() const
{
    std::string out = "Version { parts: [";
    bool first = true;
    decode_parts(text(), [&](const VersionPart& p) {
        if (!first) out += ", ";
        first = false;
        append_part_debug(out, *this, p);
    });
    out += "] }";
    return out;
}

} // namespace brenk::core
