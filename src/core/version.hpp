#pragma once
// Generic version values: a strict parser, the text form and the debug form.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "rc.hpp"

namespace brenk {

enum class PartKind : std::uint8_t { Int, Str, Wildcard, Sep };
enum class WildcardKind : std::uint8_t { Single, Rest };

/// One part of a version. Str parts keep their text as a slice of the version's text form,
/// which reproduces every Str segment unchanged.
struct VersionPart {
    PartKind kind;
    char sep;               // Sep: '.', '-' or '+'
    WildcardKind wildcard;  // Wildcard: Single ("*") or Rest (">")
    std::uint32_t number;   // Int
    std::size_t offset;     // Str: slice of VersionData::text
    std::size_t length;
};

/// Immutable parsed version: segments at even positions, separators at odd ones. The parts
/// and the text form live in the same allocation, right after this header.
struct VersionData : Counted {
    std::size_t part_count = 0;
    std::size_t text_size = 0;

    VersionPart* parts() noexcept { return reinterpret_cast<VersionPart*>(this + 1); }
    const VersionPart* parts() const noexcept { return reinterpret_cast<const VersionPart*>(this + 1); }
    char* text(std::size_t capacity_parts) noexcept { return reinterpret_cast<char*>(parts() + capacity_parts); }
    const char* text() const noexcept { return reinterpret_cast<const char*>(parts() + part_count); }

    /// One block for a version of `parts` parts and at most `text_capacity` text bytes.
    static VersionData* allocate(std::size_t parts, std::size_t text_capacity);
    static void operator delete(void* p) noexcept { ::operator delete(p); }
};
static_assert(alignof(VersionPart) <= alignof(VersionData));

/// A shared, immutable version value; copies share the parsed parts.
class Version {
public:
    explicit Version(Rc<VersionData> data) : data_(std::move(data)) {}
    /// The text form: Int parts without leading zeros, everything else unchanged.
    std::string_view text() const noexcept { return {data_->text(), data_->text_size}; }
    std::span<const VersionPart> parts() const noexcept { return {data_->parts(), data_->part_count}; }
    std::string_view str_of(const VersionPart& p) const noexcept { return text().substr(p.offset, p.length); }
    /// The debug form: Version { parts: [Int(1), Sep('.'), Int(2)] }
    std::string debug() const;

private:
    Rc<VersionData> data_;
};

enum class VersionErrorKind : std::uint8_t { TrailingSeparator, InvalidPart, EmptyPart, PartAfterRest };

struct VersionError {
    VersionErrorKind kind;
    std::string segment;  // InvalidPart only
    /// The rendering users see: EmptyPart, InvalidPart("1_0"), ...
    std::string render() const;
};

/// Parses a UTF-8 version text; on failure returns nothing and fills `error`.
std::optional<Version> parse_version(std::string_view text, VersionError& error);

/// Appends the debug form of one part (Int(1), Str("rc1"), Wildcard(Rest), Sep('.')).
void append_part_debug(std::string& out, const Version& v, const VersionPart& p);

}  // namespace brenk
