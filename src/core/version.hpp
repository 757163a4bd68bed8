#pragma once
// Generic version values: a strict parser, the text form and the debug form.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

/// Immutable parsed version: segments at even positions, separators at odd ones.
struct VersionData : Counted {
    std::string text;  // text form: Int parts without leading zeros
    std::vector<VersionPart> parts;
};

/// A shared, immutable version value; copies share the parsed parts.
class Version {
public:
    explicit Version(Rc<VersionData> data) : data_(std::move(data)) {}
    const std::string& text() const noexcept { return data_->text; }
    const std::vector<VersionPart>& parts() const noexcept { return data_->parts; }
    std::string_view str_of(const VersionPart& p) const noexcept
    {
        return std::string_view(data_->text).substr(p.offset, p.length);
    }
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
