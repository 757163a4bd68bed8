#include "version.hpp"

#include <charconv>
#include <cstring>
#include <memory>
#include <new>

#include "escape.hpp"

namespace brenk {
namespace {

bool is_separator(char c) { return c == '.' || c == '-' || c == '+'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alnum(char c) { return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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

/// Fills a VersionData block segment by segment.
class Parser {
public:
    Parser(VersionData& data, std::size_t capacity_parts) : data_(data), text_(data.text(capacity_parts)) {}

    /// Applies the segment rules in order; false and `error` on the first failure.
    bool segment(std::string_view seg, VersionError& error)
    {
        if (rest_seen_) return fail(error, VersionErrorKind::PartAfterRest);
        if (seg.empty()) return fail(error, VersionErrorKind::EmptyPart);
        VersionPart part{PartKind::Wildcard, 0, WildcardKind::Single, 0, 0, 0};
        if (seg == "*") {
            append('*');
        }
        else if (seg == ">") {
            part.wildcard = WildcardKind::Rest;
            rest_seen_ = true;
            append('>');
        }
        else if (parse_u32(seg, part.number)) {
            part.kind = PartKind::Int;
            char buf[16];
            auto r = std::to_chars(buf, buf + sizeof buf, part.number);
            append(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
        }
        else {
            for (char c : seg) {
                if (!is_alnum(c)) {
                    error.kind = VersionErrorKind::InvalidPart;
                    error.segment.assign(seg);
                    return false;
                }
            }
            part.kind = PartKind::Str;
            part.offset = data_.text_size;
            part.length = seg.size();
            append(seg);
        }
        data_.parts()[data_.part_count++] = part;
        return true;
    }

    void separator(char c)
    {
        data_.parts()[data_.part_count++] = VersionPart{PartKind::Sep, c, WildcardKind::Single, 0, 0, 0};
        append(c);
    }

private:
    static bool fail(VersionError& error, VersionErrorKind kind)
    {
        error.kind = kind;
        error.segment.clear();
        return false;
    }
    // The text form is never longer than the input (only leading zeros are dropped), so the
    // block's text capacity, the input length, always suffices.
    void append(char c) { text_[data_.text_size++] = c; }
    void append(std::string_view t)
    {
        std::memcpy(text_ + data_.text_size, t.data(), t.size());
        data_.text_size += t.size();
    }

    VersionData& data_;
    char* text_;
    bool rest_seen_ = false;
};

struct BlockDeleter {
    void operator()(VersionData* p) const noexcept { delete p; }
};

}  // namespace

std::optional<Version> parse_version(std::string_view text, VersionError& error)
{
    std::size_t separators = 0;
    for (char c : text) separators += is_separator(c);
    const std::size_t capacity_parts = 2 * separators + 1;
    std::unique_ptr<VersionData, BlockDeleter> data(VersionData::allocate(capacity_parts, text.size()));
    Parser parser(*data, capacity_parts);
    std::size_t start = 0;
    // Separators are ASCII, so scanning bytes finds them at code point boundaries.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!is_separator(text[i])) continue;
        if (!parser.segment(text.substr(start, i - start), error)) return std::nullopt;
        parser.separator(text[i]);
        start = i + 1;
    }
    if (start == text.size()) {
        error.kind = VersionErrorKind::TrailingSeparator;
        error.segment.clear();
        return std::nullopt;
    }
    if (!parser.segment(text.substr(start), error)) return std::nullopt;
    return Version(Rc<VersionData>::adopt(data.release()));
}

VersionData* VersionData::allocate(std::size_t parts, std::size_t text_capacity)
{
    void* block = ::operator new(sizeof(VersionData) + parts * sizeof(VersionPart) + text_capacity);
    return new (block) VersionData();
}

std::string VersionError::render() const
{
    switch (kind) {
    case VersionErrorKind::TrailingSeparator: return "TrailingSeparator";
    case VersionErrorKind::EmptyPart: return "EmptyPart";
    case VersionErrorKind::PartAfterRest: return "PartAfterRest";
    case VersionErrorKind::InvalidPart: break;
    }
    std::string out = "InvalidPart(\"";
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
        out += p.wildcard == WildcardKind::Single ? "Wildcard(Single)" : "Wildcard(Rest)";
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
    for (const VersionPart& p : parts()) {
        if (!first) out += ", ";
        first = false;
        append_part_debug(out, *this, p);
    }
    out += "] }";
    return out;
}

}  // namespace brenk
